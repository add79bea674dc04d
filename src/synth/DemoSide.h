#pragma once
#include <string>
#include <vector>

namespace tarnival {

// A synthetic record side: pieces of music-like material separated by quiet run-out grooves,
// with surface hiss, crackle and clicks of varied width and size at known places.
struct DemoSide {
    int rate = 44100;
    std::vector<double> pieceStarts; // seconds
    std::vector<double> pieceEnds;
    std::vector<int> clickFrames;
    int frames = 0;
};

DemoSide writeDemoSide(const std::string& path, int pieces = 4, double pieceSeconds = 20.0,
                       double pauseSeconds = 2.5, unsigned seed = 2026);

} // namespace tarnival
