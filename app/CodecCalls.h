#pragma once

// The encoder and the decoder as the desktop program calls them: what they hand up is shown in
// message boxes, and the decoder asks for the password and the offset once it has found a picture.

#include "CipherMirel.h"

#include <cstdint>
#include <string>
#include <string_view>

class QWidget;

namespace mirel {

// Writes destinationPath as a copy of the carrier at sourcePath with payload hidden in it, after
// `offset` groups (the shared gOffset, counted down), and shows what the encoder had to say.
// Returns 0 when the pass ran (to its end, or until an abort), 1 when refused, 2 when it failed.
int32_t EncodePicture(const std::string& sourcePath, const std::string& destinationPath,
                      std::string_view payload, uint8_t kind, int32_t& offset);

// EncodePicture in the stealth layout, with password (not empty) instead of an offset.
int32_t EncodeStealthPicture(const std::string& sourcePath, const std::string& destinationPath,
                             std::string_view payload, uint8_t kind, const std::u16string& password);

// Checks the picture at sourcePath; when it is one, shows the settings window over mainWindow,
// modal, for gPassword and gOffset (how it was closed does not matter), then reads the payload:
// with a password the stealth layout first (stealth, when given, tells that it was found: kind
// and payload are then what was hidden, deciphered), and otherwise the plain format from gOffset
// on, counting gOffset down. Shows nothing: the result carries its messages.
CodecResult ReadPicture(QWidget* mainWindow, const std::string& sourcePath, bool* stealth = nullptr);

// ReadPicture with its messages shown: the kind byte followed by the payload, or the empty string
// when it did not end Ok.
std::string DecodePicture(QWidget* mainWindow, const std::string& sourcePath, bool* stealth = nullptr);

}  // namespace mirel
