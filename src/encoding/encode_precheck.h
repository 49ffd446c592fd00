#pragma once

#include <string>

namespace tarn {

// What can be known about the main encode before any frame is made: the encoder tool and the
// system's ffmpeg are there and runnable, the output name selects one of the containers, and the
// output folder exists and takes new files. Returns why the encode cannot work, in a line the
// user can act on; empty when nothing stands in its way. Any thread.
std::string encodePrecheck(const std::string& exeFolder, const std::string& outputPath);

}  // namespace tarn
