#pragma once

#include <cstdint>

// The resource ids of the program's pictures and of the module libraries' own. The numbers
// are fixed: windows, modules and the image sets all name pictures by them. Each picture is
// resources/images/<id>-<word>.png (resources/modules/<library>/ for a library's), drawn by
// resources/draw-images.py.

namespace orvane {

// Outside the shape of a shaped or transparently drawn picture: RGB(255, 0, 255) as a
// COLORREF (0x00BBGGRR).
constexpr uint32_t SkinKeyColor = 0x00FF00FF;

// The program's icon, 32 by 32 with an alpha channel: the main window and the tray.
constexpr int IconProgram = 105;

// The contact tree's image list, 64 by 16: four 16 by 16 pictures, root collapsed, root
// expanded, contact online, contact offline; key colour around them.
constexpr int BitmapContactStates = 130;

// The call bar's buttons, each 33 by 37, shaped by the key colour; no caption is drawn over
// them, so they show a handset lifted (Talk) or laid down (Hang-up).
constexpr int BitmapTalk = 144;
constexpr int BitmapTalkPressed = 230;
constexpr int BitmapTalkHover = 232;
constexpr int BitmapTalkDisabled = 236;
constexpr int BitmapHangUp = 156;
constexpr int BitmapHangUpPressed = 231;
constexpr int BitmapHangUpHover = 233;
constexpr int BitmapHangUpDisabled = 237;

// The sliding notice's background, 143 by 82: a dark title band over a light body; the
// last three columns and the rounded corners are key colour.
constexpr int BitmapNotice = 160;

// The sign-in progress panel's animation, twelve opaque frames of 24 by 24 in this order
// (there is no 164).
constexpr int BitmapSigningIn1 = 162;
constexpr int BitmapSigningIn2 = 163;
constexpr int BitmapSigningIn3 = 165;
constexpr int BitmapSigningIn4 = 166;
constexpr int BitmapSigningIn5 = 167;
constexpr int BitmapSigningIn6 = 168;
constexpr int BitmapSigningIn7 = 169;
constexpr int BitmapSigningIn8 = 170;
constexpr int BitmapSigningIn9 = 171;
constexpr int BitmapSigningIn10 = 172;
constexpr int BitmapSigningIn11 = 173;
constexpr int BitmapSigningIn12 = 174;
inline constexpr int SigningInFrames[12] = {
    BitmapSigningIn1, BitmapSigningIn2,  BitmapSigningIn3,  BitmapSigningIn4,
    BitmapSigningIn5, BitmapSigningIn6,  BitmapSigningIn7,  BitmapSigningIn8,
    BitmapSigningIn9, BitmapSigningIn10, BitmapSigningIn11, BitmapSigningIn12,
};

// The skinned check box, 13 by 13: normal (clear) and pressed (ticked).
constexpr int BitmapCheckBoxTicked = 179;
constexpr int BitmapCheckBoxClear = 192;

// Push buttons whose caption is drawn over them: small ones 72 by 22, large ones 96 by 26,
// shaped by the key colour. "Default" is the emphasised face of the default button, also
// shown while a button has the focus.
constexpr int BitmapSmallButton = 201;
constexpr int BitmapSmallButtonDefault = 202;
constexpr int BitmapSmallButtonHover = 203;
constexpr int BitmapSmallButtonPressed = 204;
constexpr int BitmapLargeButton = 218;
constexpr int BitmapLargeButtonPressed = 219;
constexpr int BitmapLargeButtonHover = 220;
constexpr int BitmapLargeButtonDefault = 221;

// The logo of the settings and about boxes, 64 by 64, shaped by the key colour: the
// emblem with the product name beneath it.
constexpr int BitmapLogo = 205;

// The kinds of the program's message boxes, 32 by 32 with an alpha channel: a red disc with
// a cross (stop), a gold triangle with "!" (exclamation), blue discs with "?" (question) and
// "i" (information).
constexpr int IconBoxStop = 240;
constexpr int IconBoxExclamation = 241;
constexpr int IconBoxQuestion = 242;
constexpr int IconBoxInformation = 243;

// The video library's own.
namespace video {
// The video window's icon, 32 by 32 with an alpha channel.
constexpr int IconVideoWindow = 128;
// The action bar's picture of the module, 32 by 32, key colour transparent.
constexpr int BitmapVideoButton = 135;
// Shown until the first picture arrives: 120 by 100, at most 256 colours, no text.
constexpr int BitmapWaitingPicture = 1021;
} // namespace video

// The webjoin library's own: the action bar's picture and the address bar's buttons, all
// with the key colour transparent.
namespace webjoin {
constexpr int BitmapWebjoinButton = 135; // 32 by 32
constexpr int BitmapBack = 1001;         // 32 by 32
constexpr int BitmapStop = 1002;         // 32 by 32
constexpr int BitmapRefresh = 1003;      // 32 by 32
constexpr int BitmapForward = 1004;      // 32 by 32
constexpr int BitmapGo = 1005;           // 16 by 16
} // namespace webjoin

} // namespace orvane
