// The thumbnail provider as Explorer meets it: registered with regsvr32, its class found from
// the per-user keys, a provider made through DllGetClassObject, initialised with a stream on
// a file and asked for a bitmap.
#include <windows.h>
#include <shlwapi.h>
#include <propsys.h>
#include <thumbcache.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/hostile_inputs.h"
#include "support/private_bytes_win.h"
#include "support/shell_host_win.h"
#include "support/stl_bytes.h"
#include "support/temp_folder_win.h"

namespace {

const std::wstring kHandlerKey = kShellEx + L"{e357fccd-a995-4576-b01f-234630154e96}";
const std::wstring kClassKey = kClasses + L"CLSID\\{5B8E2C71-94D3-4F0A-A6E5-3C19D7F40B82}";
const std::wstring kPreviewClassKey = kClasses + L"CLSID\\{A3C4E6F1-2B7D-4E58-9C0A-71D5B38E6F24}";
const std::wstring kPreviewList = L"Software\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers";
// Every key the registration writes, whether or not it was there before.
const std::wstring kRegistrationKeys[] = {kClassKey, kClassKey + L"\\InprocServer32", kClasses + L"CLSID",
                                          kClasses + L"SystemFileAssociations",
                                          kClasses + L"SystemFileAssociations\\.stl",
                                          kClasses + L"SystemFileAssociations\\.stl\\ShellEx", kHandlerKey,
                                          kPreviewClassKey, kPreviewClassKey + L"\\InprocServer32",
                                          kShellEx + L"{8895b1c6-b41f-4c1c-a562-0d564250836f}"};

std::vector<std::wstring> existingKeys() {
    std::vector<std::wstring> found;
    for (const std::wstring& key : kRegistrationKeys) {
        HKEY handle;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) == ERROR_SUCCESS) {
            RegCloseKey(handle);
            found.push_back(key);
        }
    }
    return found;
}

IClassFactory* factory = nullptr;     // the class object, as the shell would find it
std::vector<std::wstring> keysBefore;  // which of the registration's keys were there before it

class Thumbnails : public testing::Test {
public:
    // The prefix outlives a run: a registration left by an earlier one goes first. Then the
    // handler's class id, that class's DLL, and its class object.
    static void SetUpTestSuite() {
        runRegsvr32(true);
        keysBefore = existingKeys();
        ASSERT_EQ(runRegsvr32(false), 0u);
        factory = classObjectOf(kHandlerKey);
    }
    static void TearDownTestSuite() {
        if (factory)
            factory->Release();
        factory = nullptr;
        runRegsvr32(true);
    }
};

struct Picture {
    HRESULT result = E_FAIL;
    int width = 0;
    int height = 0;
    int bits = 0;
    std::vector<u32> pixels;  // alpha, red, green, blue from the high byte down, premultiplied

    u32 at(int x, int y) const { return pixels[size_t(y) * width + x]; }
    static u32 alpha(u32 pixel) { return pixel >> 24; }
    // The box of the pixels that are not transparent: left, top, right, bottom (exclusive).
    std::vector<int> opaqueBox() const {
        std::vector<int> box = {width, height, 0, 0};
        for (int i = 0; i < width * height; ++i)
            if (alpha(pixels[i]) > 128)
                box = {std::min(box[0], i % width), std::min(box[1], i / width), std::max(box[2], i % width + 1),
                       std::max(box[3], i / width + 1)};
        return box;
    }
};

// A provider on `stream`, asked for a `side` picture: what Explorer's thumbnail cache does.
Picture thumbnailOf(IStream* stream, UINT side) {
    Picture picture;
    IInitializeWithStream* initialize = nullptr;
    picture.result = factory->CreateInstance(nullptr, IID_IInitializeWithStream, reinterpret_cast<void**>(&initialize));
    if (FAILED(picture.result))
        return picture;
    IThumbnailProvider* provider = nullptr;
    picture.result = initialize->Initialize(stream, STGM_READ);
    if (SUCCEEDED(picture.result))
        picture.result = initialize->QueryInterface(__uuidof(IThumbnailProvider), reinterpret_cast<void**>(&provider));
    initialize->Release();
    if (FAILED(picture.result))
        return picture;
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    picture.result = provider->GetThumbnail(side, &bitmap, &alpha);
    provider->Release();
    if (picture.result != S_OK)
        return picture;
    EXPECT_EQ(alpha, WTSAT_ARGB);
    DIBSECTION section = {};
    EXPECT_EQ(GetObjectW(bitmap, sizeof section, &section), int(sizeof section));
    picture.width = section.dsBm.bmWidth;
    picture.height = section.dsBm.bmHeight;
    picture.bits = section.dsBm.bmBitsPixel;
    const u32* bits = static_cast<const u32*>(section.dsBm.bmBits);
    if (bits && picture.bits == 32)
        picture.pixels.assign(bits, bits + size_t(picture.width) * picture.height);
    DeleteObject(bitmap);
    return picture;
}

Picture thumbnailOfFile(const std::wstring& path, UINT side) {
    IStream* stream = nullptr;
    Picture picture;
    picture.result = SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_NONE, 0, FALSE, nullptr, &stream);
    if (SUCCEEDED(picture.result)) {
        picture = thumbnailOf(stream, side);
        stream->Release();
    }
    return picture;
}

std::wstring fixture(const char* name) {
    return widen(std::string(VANTOREL_FIXTURES) + "/" + name);
}

}  // namespace

// Size, alpha and the transparent corners, at the sizes Explorer asks for.
TEST_F(Thumbnails, FixturesGiveSquareTopDownPicturesOnATransparentBackground) {
    for (const char* name : {"cube_binary.stl", "cube_ascii.stl", "two_solids.stl", "coloured_rgb.stl"})
        for (UINT side : {16u, 96u, 256u, 333u}) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(side));
            Picture picture = thumbnailOfFile(fixture(name), side);
            ASSERT_EQ(picture.result, S_OK);
            EXPECT_EQ(picture.width, int(side));
            EXPECT_EQ(picture.height, int(side));
            ASSERT_EQ(picture.bits, 32);
            for (auto [x, y] : {std::pair{0, 0}, {int(side) - 1, 0}, {0, int(side) - 1}, {int(side) - 1, int(side) - 1}})
                EXPECT_EQ(picture.at(x, y), 0u) << x << "," << y;
            std::vector<int> b = picture.opaqueBox();
            EXPECT_GT(b[2] - b[0], int(side) / 2);
            // Premultiplied: no colour brighter than its alpha.
            for (u32 pixel : picture.pixels)
                for (int shift : {0, 8, 16})
                    ASSERT_LE((pixel >> shift) & 0xFF, Picture::alpha(pixel));
        }
}

// The same box (10 x 20 x 30, the 30 along z) stands when its exporter writes Z up and lies
// when the same triangles come from a Y-up exporter: its picture is then less tall.
TEST_F(Thumbnails, TallModelStandsInItsFilesUpAxis) {
    f32 tallness[2];
    for (int i = 0; i < 2; ++i) {
        Picture picture = thumbnailOfFile(fixture(i == 0 ? "box_z_up.stl" : "fusion_y_up.stl"), 128);
        ASSERT_EQ(picture.result, S_OK);
        std::vector<int> b = picture.opaqueBox();
        tallness[i] = f32(b[3] - b[1]) / f32(b[2] - b[0]);
    }
    EXPECT_GT(tallness[0], 1.4f);
    EXPECT_GT(tallness[0], 1.3f * tallness[1]) << tallness[0] << " standing, " << tallness[1] << " lying";
}

// A file past what is read whole is drawn from a sample that stands for it: its silhouette
// agrees with the same shape's read whole on at least 97% of the pixels.
TEST_F(Thumbnails, ASampleOfALargeFileKeepsItsSilhouette) {
    Picture pictures[2];
    for (int i = 0; i < 2; ++i) {
        FailingStream stream(i ? torusFile(700, 200) : torusFile(280, 80), ULONG(-1));
        pictures[i] = thumbnailOf(&stream, 256);
        ASSERT_EQ(pictures[i].result, S_OK);
    }
    size_t agree = 0;
    for (size_t k = 0; k < pictures[0].pixels.size(); ++k)
        agree += (Picture::alpha(pictures[0].pixels[k]) >= 128) == (Picture::alpha(pictures[1].pixels[k]) >= 128);
    EXPECT_GE(f64(agree), 0.97 * f64(pictures[0].pixels.size())) << agree;
}

// The file's triangle colours, the material colour a header states, the default colour.
TEST_F(Thumbnails, ColoursComeFromTheFile) {
    TempFolder folder(L"vantorel-thumbnail-colours-");
    std::vector<u8> cube = readWholeFile(std::string(VANTOREL_FIXTURES) + "/cube_binary.stl");
    std::wstring material = folder.write(L"material.stl", std::string("COLOR=\xE0\x30\x20\xFF", 10) + std::string(cube.begin() + 10, cube.end()));
    struct Case {
        std::wstring path;
        bool reddish, greenish, bluish;
    } cases[] = {
        {fixture("coloured_bgr.stl"), true, false, true},  // red and blue triangles
        {material, true, false, false},
        {fixture("cube_binary.stl"), false, false, false},  // grey
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        Picture picture = thumbnailOfFile(c.path, 128);
        ASSERT_EQ(picture.result, S_OK);
        bool seen[3] = {};
        for (u32 pixel : picture.pixels) {
            if (Picture::alpha(pixel) != 255)
                continue;
            int channel[3] = {int(pixel >> 16 & 0xFF), int(pixel >> 8 & 0xFF), int(pixel & 0xFF)};
            for (int i = 0; i < 3; ++i)
                seen[i] |= channel[i] > 2 * channel[(i + 1) % 3] + 20 && channel[i] > 2 * channel[(i + 2) % 3] + 20;
        }
        EXPECT_EQ(seen[0], c.reddish);
        EXPECT_EQ(seen[1], c.greenish);
        EXPECT_EQ(seen[2], c.bluish);
    }
}

// Every input that does not load gives an error result and no bitmap, never a fault: the
// fixtures that fail, the fuzzers' corpora, truncations and edits of every fixture, and
// streams whose reads fail part way. No provider keeps a reference to its stream.
TEST_F(Thumbnails, BadInputGivesAnErrorAndNoFault) {
    for (const char* name : {"broken.stl", "not_stl.txt"})
        EXPECT_FALSE(SUCCEEDED(thumbnailOfFile(fixture(name), 64).result)) << name;
    int loaded = 0, refused = 0;
    auto tryBytes = [&](const std::vector<u8>& bytes) {
        FailingStream stream(bytes, ULONG(-1));
        Picture picture = thumbnailOf(&stream, 32);
        (picture.result == S_OK ? loaded : refused)++;
        EXPECT_EQ(stream.references(), 1u) << "the provider kept a reference to the stream";
    };
    for (auto& entry : std::filesystem::recursive_directory_iterator(VANTOREL_FUZZ_CORPUS))
        if (entry.is_regular_file())
            tryBytes(readWholeFile(entry.path().string()));
    ASSERT_TRUE(forEachHostileInput(VANTOREL_FIXTURES, 13, 10,
                                    tryBytes));
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
    std::vector<u8> cube = readWholeFile(std::string(VANTOREL_FIXTURES) + "/cube_binary.stl");
    for (ULONG failAt : {0ul, 10ul, 84ul, 200ul, ULONG(cube.size() - 1)}) {
        FailingStream stream(cube, failAt);
        Picture picture = thumbnailOf(&stream, 32);
        EXPECT_FALSE(SUCCEEDED(picture.result)) << "reads failing after " << failAt << " bytes";
        EXPECT_EQ(stream.references(), 1u);
    }
    // One stream per provider: a second Initialize is refused, and neither stream is kept.
    IInitializeWithStream* initialize = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IInitializeWithStream, reinterpret_cast<void**>(&initialize)), S_OK);
    FailingStream first({}, 0), second({}, 0);
    EXPECT_EQ(initialize->Initialize(&first, STGM_READ), S_OK);
    EXPECT_EQ(initialize->Initialize(&second, STGM_READ), E_UNEXPECTED);
    initialize->Release();
    EXPECT_EQ(first.references() + second.references(), 2u);
}

// Thumbnails asked from several threads at once share the one device and all come out.
TEST_F(Thumbnails, SeveralThreadsAtOnce) {
    std::atomic<int> pictures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 8; ++i) {
                const char* name = (t + i) % 2 ? "cube_binary.stl" : "fusion_y_up.stl";
                Picture picture = thumbnailOfFile(fixture(name), UINT(64 + 32 * t));
                pictures += picture.result == S_OK && picture.width == 64 + 32 * t &&
                            Picture::alpha(picture.at(picture.width / 2, picture.width / 2)) == 255;
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(pictures, 32);
}

// 200 thumbnails in one process leave its committed private memory where the first few
// left it. (Under Wine the handle count reads 0, so only memory tells.)
TEST_F(Thumbnails, ManyThumbnailsLeaveMemoryFlat) {
    const char* names[] = {"cube_binary.stl", "fusion_y_up.stl", "coloured_bgr.stl", "broken.stl"};
    unsigned long long memoryBefore = 0;
    for (int i = 0; i < 220; ++i) {
        if (i == 20)
            memoryBefore = committedPrivateBytes(GetCurrentProcess());
        thumbnailOfFile(fixture(names[i % 4]), 256);
    }
    unsigned long long memoryAfter = committedPrivateBytes(GetCurrentProcess());
    EXPECT_LT(memoryAfter, memoryBefore + (4ull << 20)) << memoryBefore << " then " << memoryAfter;
}

// Unregistering removes every key the registration wrote, and nothing else; registering
// again restores them. The preview handler runs in the system's preview host (its AppID).
TEST_F(Thumbnails, UnregisteringRemovesEveryKeyItWrote) {
    EXPECT_EQ(existingKeys().size(), std::size(kRegistrationKeys));
    EXPECT_EQ(readValue(kPreviewClassKey, L"AppID"), L"{6d2b5079-2f0b-48dd-ab7f-97cec514d30b}");
    EXPECT_EQ(readValue(kPreviewList, L"{A3C4E6F1-2B7D-4E58-9C0A-71D5B38E6F24}"), L"Vantorel STL preview");
    ASSERT_EQ(runRegsvr32(true), 0u);
    EXPECT_EQ(existingKeys(), keysBefore);
    EXPECT_EQ(readValue(kPreviewList, L"{A3C4E6F1-2B7D-4E58-9C0A-71D5B38E6F24}"), L"");
    ASSERT_EQ(runRegsvr32(false), 0u);
    EXPECT_EQ(existingKeys().size(), std::size(kRegistrationKeys));
}
