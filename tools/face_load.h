#pragma once
// One face file loaded exactly as the viewer loads it (a 512 x 512 magenta image, then the BMP
// load), with a one-line account of what the viewer will show.
#include "picture.h"

#include <string>

constexpr int32_t FACE_SIZE = 512;

struct FaceLoad {
    Picture picture;     // FACE_SIZE x FACE_SIZE, as the viewer holds it
    bool whole = false;  // the picture loaded completely and covers the face exactly
    std::string status;  // "ok 512 x 512, 24 bits", "magenta: missing", ...
};

FaceLoad loadFace(const std::string& path);

// "up     skyup.bmp  ok 512 x 512, 24 bits": face name, file name, status, in columns.
std::string statusLine(const std::string& faceName, const std::string& fileName, const std::string& status);
