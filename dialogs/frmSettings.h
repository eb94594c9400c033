#pragma once

#include "FrmSettingsLayout.h"

class QLineEdit;

#include <cstdint>
#include <string>

namespace mirel {

// The settings asked for before each run, alive for the whole program run and never stored.
// The password; empty means no encryption. Held as typed; the cipher takes its 8-bit codes.
extern std::u16string gPassword;
// Groups of nine pixel bytes to pass over before the hidden stream starts; handed to the codec,
// which counts it down.
extern int32_t gOffset;

// Set while the settings window of an encode run is open and has not been accepted; its OK
// clears it. Alive for the whole program run.
extern bool gSettingsCancelled;

// The settings window: OK stores the password as typed in gPassword and the offset, read as a
// number, in gOffset, clears gSettingsCancelled and closes the window. An offset that is
// negative or beyond the 32-bit range is reported and the window stays open for a correction,
// with nothing stored; so is, for an encode run, a password with characters that have no 8-bit
// code (they would all become the same "?", and any of them would open the picture).
class frmSettings : public FrmSettingsLayout {
    Q_OBJECT

public:
    explicit frmSettings(QWidget* parent = nullptr);

    // Set for an encode run that enciphers with RC4: the password then becomes the picture's key
    // and must be storable in the 8-bit code page.
    bool storablePassword = false;

private slots:
    void cmdOK_Click();
};

// Overwrites what box holds before it is emptied, so that a typed password does not stay behind
// in memory.
void WipeLineEdit(QLineEdit* box);

// Opens the settings window the way every opener does: a fresh window with the icon of the main
// window, centred on it, the password box holding gPassword, the offset caption and box shown,
// modal; returns when it has closed. An encode run sets gSettingsCancelled first.
// Returns true when the user pressed OK.
// sealing: the run seals its payload, whose key takes any password.
bool ShowSettings(QWidget* mainWindow, bool encodeRun, bool sealing = false);

}  // namespace mirel
