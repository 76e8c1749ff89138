// A COM object of this DLL is a plain record: one vtable pointer per interface, a reference
// count `references`, and two functions of its own found by overload, queryInterface(Record*,
// REFIID, void**) and releaseRecord(Record*) (which frees it at zero). Each interface pointer
// points at its vtable field; these thunks find the record from it and fill the IUnknown
// part of each vtable.
#pragma once

#include <windows.h>
#include <stddef.h>

#include "diag/base.h"

template <typename Record, typename Interface, size_t at>
Record* recordOf(Interface* self) {
    return reinterpret_cast<Record*>(reinterpret_cast<u8*>(self) - at);
}

template <typename Record, typename Interface, size_t at>
HRESULT STDMETHODCALLTYPE recordQueryInterface(Interface* self, REFIID id, void** out) {
    return queryInterface(recordOf<Record, Interface, at>(self), id, out);
}

template <typename Record, typename Interface, size_t at>
ULONG STDMETHODCALLTYPE recordAddRef(Interface* self) {
    return ULONG(InterlockedIncrement(&recordOf<Record, Interface, at>(self)->references));
}

template <typename Record, typename Interface, size_t at>
ULONG STDMETHODCALLTYPE recordRelease(Interface* self) {
    return releaseRecord(recordOf<Record, Interface, at>(self));
}

#define RECORD_UNKNOWN_METHODS(Record, Interface, field)              \
    recordQueryInterface<Record, Interface, offsetof(Record, field)>, \
        recordAddRef<Record, Interface, offsetof(Record, field)>,     \
        recordRelease<Record, Interface, offsetof(Record, field)>
