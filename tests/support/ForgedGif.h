#pragma once
// A well-formed GIF of a few dozen bytes (a two-colour table, one frame of a
// few LZW codes) that claims a picture of the given sizes: what a hostile
// file does to make a reader allocate a huge picture.

#include <QByteArray>

#include <cstdint>

QByteArray claimingGif(std::uint32_t screenWidth, std::uint32_t screenHeight,
    std::uint32_t frameWidth, std::uint32_t frameHeight);
