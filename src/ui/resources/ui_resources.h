// The names of the program's own resources, as the forms load them from the program's module
// (ui.rc; the pictures are made by make_pictures.pl). Every picture leaves its background in
// kMaskColour, so a control can draw it transparently (its bottom-left pixel has that colour).
#pragma once

#include <windows.h>

namespace res {

constexpr COLORREF kMaskColour = RGB(255, 0, 255);

// The background window's picture, stretched over the whole screen.
constexpr char kBackground[] = "BACKGROUND";
// The wizard's side picture, 157 x 260.
constexpr char kLeftLogo[] = "LEFTLOGO";

// The subsystem tree's state pictures: one strip of kStateImageCount pictures of
// kStateImageSize x kStateImageSize, left to right:
//   0 selected, and every part of it chosen (a tick)
//   1 selected, some parts not chosen (a grey tick on a grey box)
//   2 not selected (an empty box)
//   3 never shown (a crossed box)
constexpr char kStateImages[] = "STATEIMAGES";
constexpr int kStateImageSize = 16;
constexpr int kStateImageCount = 4;

// The drive list's pictures by the kind of drive, 16 x 16.
constexpr char kDriveFloppy[] = "FLOPPY";    // removable
constexpr char kDriveHard[] = "HARD";        // fixed
constexpr char kDriveNetwork[] = "NETWORK";  // remote
constexpr char kDriveCdRom[] = "CDROM";
constexpr char kDriveRam[] = "RAM";
// The directory list's pictures, 16 x 16.
constexpr char kOpenFolder[] = "OPENFOLDER";        // an element of the current path
constexpr char kCurrentFolder[] = "CURRENTFOLDER";  // the current directory
constexpr char kClosedFolder[] = "CLOSEDFOLDER";    // a subdirectory

// The program's icon (the first icon group, which Explorer shows).
constexpr int kMainIcon = 1;

}  // namespace res
