#pragma once

#include <string>

// Throws UsageError unless NAME[:QUALITY] is a compression the writer of the
// output's format knows (the image library's writers take an unknown name
// silently and compress as they like).
void checkCompression(const std::string &outputPath, const std::string &choice);

// Whether the compression loses pixels ("dwaa", "jpeg", ...), for the warning line.
bool lossyCompression(const std::string &format, const std::string &name);
