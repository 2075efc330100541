#include "ForgedGif.h"

namespace {

void littleEndian(QByteArray& out, std::uint32_t value)
{
    out.append(char(value & 0xFF)).append(char(value >> 8));
}

} // namespace

QByteArray claimingGif(std::uint32_t screenWidth, std::uint32_t screenHeight,
    std::uint32_t frameWidth, std::uint32_t frameHeight)
{
    QByteArray gif("GIF89a");
    littleEndian(gif, screenWidth);
    littleEndian(gif, screenHeight);
    gif.append(char(0x80)).append('\0').append('\0');
    gif.append(QByteArray::fromHex("000000ffffff"));
    gif.append(char(0x2C));
    littleEndian(gif, 0);
    littleEndian(gif, 0);
    littleEndian(gif, frameWidth);
    littleEndian(gif, frameHeight);
    gif.append('\0');
    gif.append(char(2)); // LZW minimum code size
    gif.append(QByteArray::fromHex("024c0100"));
    gif.append(char(0x3B));
    return gif;
}
