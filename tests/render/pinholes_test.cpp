#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "render/pinholes.h"

namespace {

// A picture drawn from rows of characters: '#' wholly covered (a grey), '+' half covered
// (an edge), '.' background.
struct Picture {
    u32 width, height;
    std::vector<u8> bgra;
    explicit Picture(const std::vector<std::string>& rows) : width(u32(rows[0].size())), height(u32(rows.size())) {
        for (char c : std::accumulate(rows.begin(), rows.end(), std::string())) {
            u8 grey = c == '#' ? 200 : c == '+' ? 100 : 0, alpha = c == '#' ? 255 : c == '+' ? 128 : 0;
            bgra.insert(bgra.end(), {grey, grey, grey, alpha});
        }
    }
    u8 alpha(u32 x, u32 y) const { return bgra[4 * (y * width + x) + 3]; }
};

}  // namespace

// Specks and cracks a few pixels across inside the model close with the colour around them;
// the outline's edge pixels, a hole over twice the reach across each way and the mouth of a
// slot open to the outside stay.
TEST(Pinholes, CloseSpecksAndCracksInsideTheModelOnly) {
    Picture picture({
        "....................",
        ".##################.",
        ".#.##+#.........###.",
        ".######.........###.",
        ".######.........###.",
        ".######.........###.",
        ".######.........###.",
        ".######.........###.",
        ".######.........###.",
        ".######.........###.",
        ".####..############.",
        ".####..#####.######.",
        ".###.#######.######.",
        ".###.#######.######.",
        ".###.#######.######.",
        "+###########.###....",
    });
    // The speck, the edge pixel, the 2 x 2 hole, the crack, the slot but for its mouth.
    const std::vector<std::pair<u32, u32>> closing = {{2, 2},   {5, 2},   {5, 10},  {6, 10},  {5, 11},  {6, 11}, {4, 12},
                                                      {4, 13},  {4, 14},  {12, 11}, {12, 12}, {12, 13}, {12, 14}};
    Picture before = picture;
    closePinholes(picture.bgra.data(), picture.width, picture.height, std::vector<u8>(picture.bgra.size() / 4).data());
    for (u32 y = 0; y < picture.height; ++y)
        for (u32 x = 0; x < picture.width; ++x) {
            SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
            bool closes = std::find(closing.begin(), closing.end(), std::pair{x, y}) != closing.end();
            EXPECT_EQ(picture.alpha(x, y), closes ? 255 : before.alpha(x, y));
            EXPECT_EQ(picture.bgra[4 * (y * picture.width + x)], closes ? 200 : before.bgra[4 * (y * picture.width + x)]);
        }
}
