// The desktop icon: four energy elements around a rotator, the block a tap turns, on a rounded plate of the
// machine's casing. The pieces are the board's own drawings, scaled by whole steps so no pixel blurs.
#include <string>
#include <vector>

#include "pictures.h"

namespace {

// The 40 x 40 block as the board shows it: a rotator on the corner where four cells meet.
Surface* drawBlock() {
    Surface* s = pic::canvas(40, 40, pic::KEY);
    if (!s) return nullptr;
    for (int kind = 0; kind < 4; kind++) pic::drawElement(s, 20 * (kind % 2), 20 * (kind / 2), kind);
    pic::drawRotator(s, 10, 10);
    return s;
}

uint32_t rgbOf565(uint32_t v) {
    const uint32_t r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
    return (r * 255 / 31) << 16 | (g * 255 / 63) << 8 | b * 255 / 31;
}

// Inside a square of side n with corners rounded by radius r (pixel centres).
bool insidePlate(int x, int y, int n, int r) {
    const int cx = x < r ? r : x >= n - r ? n - 1 - r : x, cy = y < r ? r : y >= n - r ? n - 1 - r : y;
    const int dx = x - cx, dy = y - cy;
    return dx * dx + dy * dy <= r * r;
}

bool writeIcon(const std::string& path, const Surface* block, int n) {
    // A whole scale that leaves a margin of at least 4 pixels for the plate's rim.
    const int scale = (n - 8) / 40 > 0 ? (n - 8) / 40 : 1, at = (n - 40 * scale) / 2, radius = n / 8;
    std::vector<uint32_t> px((size_t)n * n, 0);  // transparent outside the plate
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            if (!insidePlate(x, y, n, radius)) continue;
            const bool rim = !insidePlate(x - 1, y, n, radius) || !insidePlate(x + 1, y, n, radius) ||
                             !insidePlate(x, y - 1, n, radius) || !insidePlate(x, y + 1, n, radius);
            uint32_t c = rim ? 0x0C1016 : pic::lerp(0x3A485A, 0x161C26, y * 256 / n);
            const int bx = (x - at) / scale, by = (y - at) / scale;
            if (x >= at && y >= at && bx < 40 && by < 40) {
                const uint32_t v = sfGetPixel(block, bx, by);
                if (v != pic::to565(pic::KEY)) c = rgbOf565(v);
            }
            px[(size_t)y * n + x] = 0xFF000000u | c;
        }
    return mkWritePNG(path, n, n, px.data(), true);
}

}  // namespace

int mkIcons(const std::string& dir) {
    Surface* block = drawBlock();
    if (!block) return 0;
    int count = 0;
    for (int32_t n : MK_ICON_SIZES) {
        const std::string size = std::to_string(n) + "x" + std::to_string(n);
        if (writeIcon(dir + "/" + size + "/apps/korvatron.png", block, n)) count++;
    }
    sfFree(block);
    return count == (int)(sizeof MK_ICON_SIZES / sizeof MK_ICON_SIZES[0]) ? count : 0;
}
