#pragma once
// Set-1 keyboard scan codes (0x80 added for extended keys), the numbering in
// which the programs name their keys.

#include <string>

namespace platform {

enum ScanCode : int {
  kScanEscape = 0x01,
  kScan1 = 0x02,  // digits 1..9 are 0x02..0x0A, 0 is 0x0B
  kScan0 = 0x0B,
  kScanMinus = 0x0C,
  kScanEquals = 0x0D,
  kScanBackspace = 0x0E,
  kScanTab = 0x0F,
  kScanQ = 0x10,
  kScanW = 0x11,
  kScanE = 0x12,
  kScanR = 0x13,
  kScanT = 0x14,
  kScanY = 0x15,
  kScanU = 0x16,
  kScanI = 0x17,
  kScanO = 0x18,
  kScanP = 0x19,
  kScanReturn = 0x1C,
  kScanLeftCtrl = 0x1D,
  kScanA = 0x1E,
  kScanS = 0x1F,
  kScanD = 0x20,
  kScanF = 0x21,
  kScanG = 0x22,
  kScanH = 0x23,
  kScanJ = 0x24,
  kScanK = 0x25,
  kScanL = 0x26,
  kScanLeftShift = 0x2A,
  kScanZ = 0x2C,
  kScanX = 0x2D,
  kScanC = 0x2E,
  kScanV = 0x2F,
  kScanB = 0x30,
  kScanN = 0x31,
  kScanM = 0x32,
  kScanComma = 0x33,
  kScanPeriod = 0x34,
  kScanRightShift = 0x36,
  kScanLeftAlt = 0x38,
  kScanSpace = 0x39,
  kScanF1 = 0x3B,
  kScanF11 = 0x57,
  kScanKeypadPeriod = 0x53,
  kScanKeypadEnter = 0x9C,
  kScanRightCtrl = 0x9D,
  kScanRightAlt = 0xB8,
  kScanPause = 0xC5,
  kScanHome = 0xC7,
  kScanUp = 0xC8,
  kScanLeft = 0xCB,
  kScanRight = 0xCD,
  kScanEnd = 0xCF,
  kScanDown = 0xD0,
  kScanDelete = 0xD3,
};

// The set-1 code of a key named as SDL2 names keys ("Left", "Right Ctrl",
// "A", "Space", "Keypad 4"; letter case does not matter); 0 for a name SDL2
// does not know or a key the programs cannot see.
int ScanFromKeyName(const std::string& name);

// SDL2's name of the key with this set-1 code; empty when there is none.
std::string KeyNameOfScan(int code);

// Maps an SDL2 scan code (SDL_Scancode value) to a set-1 code; 0 when unmapped.
int ScanFromSdl(int sdlScancode);

}  // namespace platform
