#pragma once

// The batch tool's tests: a small closed scene in a scratch folder and a run
// of the real lumetra-batch binary in it.

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "scene_fixture.h"

namespace fixture {

// A closed unit cube, normals inward: every wall emits E and reflects rho.
inline const char* const kCube =
    "box\n0 0 0 1 0 0 1 1 0\n0 0 0 1 1 0 0 1 0\n0 0 1 0 1 1 1 1 1\n0 0 1 1 1 1 1 0 1\n"
    "0 0 0 0 0 1 1 0 1\n0 0 0 1 0 1 1 0 0\n0 1 0 1 1 0 1 1 1\n0 1 0 1 1 1 0 1 1\n"
    "0 0 0 0 1 0 0 1 1\n0 0 0 0 1 1 0 0 1\n1 0 0 1 0 1 1 1 1\n1 0 0 1 1 1 1 1 0\n";

inline const std::string kCubeIni =
    "[settings]\nresolution=64\nnear=0.001\nfar=10\nstop_at=0.001\nbrightness=1\nobjects=1\n"
    "[camera]\npos_x=0.5\npos_y=0.05\npos_z=0.5\nlookat_x=0.5\nlookat_y=1\nlookat_z=0.5\nup_z=1\nfov=80\n"
    "[object_0]\ntriangles=12\nfile=box.tri\nreflectance_r=128\nreflectance_g=128\nreflectance_b=128\n"
    "emission_r=51\nemission_g=25\nemission_b=0\n";

// The cube scene in a scratch folder.
struct CubeDir : Scratch {
    CubeDir() {
        write("box.tri", kCube);
        write("box.ini", kCubeIni);
    }
};

struct Result {
    int code = -1;
    std::string out, err;
};

// Runs one of the built programs in the folder; `prefix` goes before it
// on the shell's command line (timeout, env).
inline Result runProgram(const Scratch& dir, const std::string& program, const std::string& args,
                         const std::string& prefix = "") {
    const int status =
        std::system(("cd '" + dir.path.string() + "' && " + prefix + " '" LUMETRA_BINARY_DIR "/" + program +
                     "' " + args + " >stdout.txt 2>stderr.txt")
                        .c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, dir.read("stdout.txt"), dir.read("stderr.txt")};
}

inline Result runBatch(const Scratch& dir, const std::string& args) {
    return runProgram(dir, "lumetra-batch", args);
}

}  // namespace fixture
