#include "HandPointer.h"

#include <QBitmap>
#include <QImage>

namespace mirel {

namespace {

// '#' outline (black), '.' fill (white), ' ' transparent. Column 5 of row 0 is the fingertip.
constexpr const char* kHand[32] = {
    "    ##                          ",
    "   #..#                         ",
    "   #..#                         ",
    "   #..#                         ",
    "   #..#                         ",
    "   #..#                         ",
    "   #..# ##                      ",
    "   #..##..##                    ",
    "   #..#..#..##                  ",
    "   #..#..#..#.#                 ",
    "## #..#..#..#..#                ",
    "#..#..#..#..#..#                ",
    "#...#........#.#                ",
    " #..#..........#                ",
    "  #.#..........#                ",
    "  #............#                ",
    "   #...........#                ",
    "   #..........#                 ",
    "    #.........#                 ",
    "    #........#                  ",
    "     #.......#                  ",
    "     #.......#                  ",
    "     #########                  ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
};

}  // namespace

QCursor HandPointer()
{
    // A cursor bitmap marks black pixels with 1; the mask marks the pixels that are drawn at all.
    QImage shape(32, 32, QImage::Format_MonoLSB);
    QImage mask(32, 32, QImage::Format_MonoLSB);
    shape.setColor(0, qRgb(255, 255, 255));
    shape.setColor(1, qRgb(0, 0, 0));
    mask.setColor(0, qRgb(255, 255, 255));
    mask.setColor(1, qRgb(0, 0, 0));
    shape.fill(0);
    mask.fill(0);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const char c = kHand[y][x];
            shape.setPixel(x, y, c == '#' ? 1 : 0);
            mask.setPixel(x, y, c == ' ' ? 0 : 1);
        }
    }
    return QCursor(QBitmap::fromImage(shape), QBitmap::fromImage(mask), kHandHotSpot.x(), kHandHotSpot.y());
}

}  // namespace mirel
