// Generates STL text the way common CAD exporters write it: a closed torus, "%e" numbers,
// indented keywords, LF line ends.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

inline std::string generateAsciiStl(size_t targetBytes, size_t* facets) {
    std::string text;
    text.reserve(targetBytes + 4096);
    text += "solid Part1\n";
    const double pi = 3.14159265358979323846;
    // A torus fine enough to reach the target size; about 254 bytes per facet as written
    // here; the estimate errs large and the loop stops at the target.
    size_t rings = size_t(std::sqrt(double(targetBytes) / 230.0 / 2.0)) + 1;
    size_t count = 0;
    char line[160];
    auto point = [&](size_t i, size_t j, double* p) {
        double u = 2 * pi * double(i % rings) / double(rings), v = 2 * pi * double(j % rings) / double(rings);
        p[0] = (40 + 12 * std::cos(v)) * std::cos(u);
        p[1] = (40 + 12 * std::cos(v)) * std::sin(u);
        p[2] = 12 * std::sin(v);
    };
    for (size_t i = 0; i < rings && text.size() < targetBytes; ++i) {
        for (size_t j = 0; j < rings; ++j) {
            double a[3], b[3], c[3], d[3];
            point(i, j, a);
            point(i + 1, j, b);
            point(i + 1, j + 1, c);
            point(i, j + 1, d);
            const double* triangles[2][3] = {{a, b, c}, {a, c, d}};
            for (auto& t : triangles) {
                double e1[3], e2[3], n[3];
                for (int k = 0; k < 3; ++k) {
                    e1[k] = t[1][k] - t[0][k];
                    e2[k] = t[2][k] - t[0][k];
                }
                n[0] = e1[1] * e2[2] - e1[2] * e2[1];
                n[1] = e1[2] * e2[0] - e1[0] * e2[2];
                n[2] = e1[0] * e2[1] - e1[1] * e2[0];
                double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
                for (double& x : n)
                    x = length > 0 ? x / length : 0;
                std::snprintf(line, sizeof line, "  facet normal %e %e %e\n    outer loop\n", n[0], n[1], n[2]);
                text += line;
                for (const double* p : t) {
                    std::snprintf(line, sizeof line, "      vertex %e %e %e\n", p[0], p[1], p[2]);
                    text += line;
                }
                text += "    endloop\n  endfacet\n";
                ++count;
            }
        }
    }
    text += "endsolid Part1\n";
    *facets = count;
    return text;
}
