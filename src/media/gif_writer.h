// Writes one picture as a GIF file through libavcodec's GIF encoder and the GIF muxer.
#pragma once

#include <cstdint>
#include <string>

// APixels: AHeight rows of AWidth palette indexes, AStride bytes apart; APalette: 256 colours
// as 0xAARRGGBB. Returns false with AError set when the file cannot be written.
bool WriteGifPal8(int AWidth, int AHeight, const uint8_t* APixels, int AStride,
                  const uint32_t APalette[256], const std::string& APath, std::string& AError);
