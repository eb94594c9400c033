#pragma once

#include <QIcon>
#include <QPixmap>

namespace mirel {

// The program icon, with its images from 16 x 16 to 256 x 256 pixels.
QIcon ProgramIcon();
// The 32 x 32 image of the program icon.
QPixmap ProgramIcon32();

// Converts a size in twips (1/1440 inch) to pixels at 96 dots per inch: 15 twips a pixel.
constexpr int Twips(int twips)
{
    return twips / 15;
}

}  // namespace mirel
