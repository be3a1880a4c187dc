#pragma once

#include <string>
#include <vector>

struct FileOps;

// One file of an output that consists of several (a .gltf and its .bin):
// where it goes and its whole content.
struct OutputFile {
    std::string path;
    std::string bytes;
};

// Writes the files together through AtomicFile: every file is written in
// full to its temporary file first, and only when all of them were written
// are they put in place, in the given order (so list a file that refers to
// others last). A failure while writing leaves every target as it was and no
// temporary file behind. Returns an empty string, or "<path>: <reason>" of
// the first failure. `ops`: the system calls (nullptr: the operating
// system's).
std::string writeFilesTogether(const std::vector<OutputFile>& files, FileOps* ops = nullptr);
