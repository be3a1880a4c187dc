// The tools' command lines: every option parsed, usage errors exit 1 with a
// message naming the option, also without a display.
// The viewer's options past glutInit, on a display, are in e2e/viewer_e2e.py.

#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/batch_options.h"
#include "app/viewer_options.h"
#include "batch_fixture.h"

namespace {

struct Parsed {
    int code = -1;
    std::string out, err;
};

// Runs a parser on the arguments (the program name comes first), capturing
// what it prints.
template <class Parse>
Parsed parse(std::vector<const char*> args, Parse parser) {
    Parsed p;
    ::testing::internal::CaptureStderr();
    p.out = fixture::stdoutOf([&] { p.code = parser(static_cast<int>(args.size()), args.data()); });
    p.err = ::testing::internal::GetCapturedStderr();
    return p;
}

// Runs a built program in a scratch folder, as on a machine without X.
fixture::Result runTool(const std::string& tool, const std::string& args) {
    return fixture::runProgram(fixture::Scratch(), tool, args, "env -u DISPLAY");
}

}  // namespace

TEST(BatchOptions, ParsesEveryOptionAndRefusesBadOnes) {
    BatchOptions o;
    auto batch = [&o](int argc, const char* const* argv) { return parseBatchOptions(argc, argv, o); };
    const Parsed full =
        parse({"lumetra-batch", "a.ini", "--steps", "010", "--seconds", "2.5", "--out", "d", "--png", "p.png",
               "--size", "300", "--aa", "--set", "stop_at=0.5", "--set", "FOV = 30"},
              batch);
    ASSERT_EQ(full.code, -1) << full.err;
    EXPECT_TRUE(o.config == "a.ini" && o.maxSteps == 10 && o.maxSeconds == 2.5 && o.outDir == "d" &&
                o.png == "p.png" && o.size == 300 && o.antialias);  // 010 is ten, not octal
    ASSERT_EQ(o.overrides.size(), 2u);
    EXPECT_TRUE(o.overrides[0].section == "settings" && o.overrides[0].key == "stop_at" &&
                o.overrides[0].value == "0.5");
    EXPECT_TRUE(o.overrides[1].section == "camera" && o.overrides[1].key == "fov" &&
                o.overrides[1].value == " 30");
    // Defaults: no limits, no picture.
    ASSERT_EQ(parse({"b", "a.ini"}, batch).code, -1);
    EXPECT_TRUE(o.maxSteps == -1 && o.maxSeconds < 0 && o.png.empty() && o.size == 0 && o.overrides.empty());
    ASSERT_EQ(
        parse({"b", "a.ini", "--exr", "p.exr", "--export", "s.PLY", "--ascii", "--load", "r"}, batch).code,
        -1);
    EXPECT_TRUE(o.exr == "p.exr" && o.exportPath == "s.PLY" && o.ascii && o.loadDir == "r");

    const std::pair<std::vector<const char*>, std::string> bad[] = {
        {{"b"}, "CONFIG.ini is required"},
        {{"b", "a.ini", "--steps", "-1"}, "--steps: needs a whole number of steps, 0 or more"},
        {{"b", "a.ini", "--size", "0"}, "--size: needs a picture size from 1 to 16384 pixels"},
        {{"b", "a.ini", "--out", ""}, "--out: needs a folder"},
        {{"b", "a.ini", "b.ini"}, "The following argument was not expected: b.ini"},
        {{"b", "a.ini", "--set", "nope=1"}, "--set: unknown key 'nope'"},
        {{"b", "a.ini", "--set", "stop_at"}, "--set: 'stop_at' is not KEY=VALUE"},
        {{"b", "a.ini", "--export", "s.obj"}, "--export: needs a name ending in .gltf, .glb or .ply"},
        {{"b", "a.ini", "--ascii"}, "--ascii: applies to a .ply export only"},
        {{"b", "a.ini", "--load", "r", "--steps", "3"}, "--steps excludes --load"}};
    for (const auto& [args, message] : bad) {
        const Parsed p = parse(args, batch);
        EXPECT_EQ(p.code, kExitUsageError) << message;
        EXPECT_TRUE(fixture::contains(p.err, "lumetra-batch: " + message) &&
                    fixture::contains(p.err, "--help"))
            << p.err;
    }
    // Help wins over a bad option; it goes to standard output.
    const Parsed help = parse({"b", "--set", "nope=1", "--help"}, batch);
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.out.rfind("Usage: lumetra-batch CONFIG.ini [options]\n", 0), 0u) << help.out;
}

TEST(ViewerOptions, PathIsTheFirstArgumentGlutLeavesAndOptionsAreChecked) {
    ViewerOptions o;
    auto pass = [&o](ViewerPass when) {
        return
            [&o, when](int argc, const char* const* argv) { return parseViewerOptions(argc, argv, o, when); };
    };
    const auto before = pass(ViewerPass::BeforeGlut), after = pass(ViewerPass::AfterGlut);
    // Before glutInit GLUT's options are still there and are left alone.
    EXPECT_EQ(
        parse({"lumetra", "-geometry", "300x300+0+0", "-iconic", "--set", "stop_at=1", "s.ini"}, before).code,
        -1);
    // After it: the first argument left is the path, further ones are ignored.
    ASSERT_EQ(parse({"lumetra", "--set", "fov=30", "a.ini", "b.ini"}, after).code, -1);
    EXPECT_EQ(o.config, "a.ini");
    ASSERT_EQ(o.overrides.size(), 1u);
    EXPECT_EQ(o.overrides[0].key, "fov");
    EXPECT_EQ(o.loadDir, "");  // solving, by default
    ASSERT_EQ(parse({"lumetra", "--load", "solved", "s.ini"}, before).code, -1);
    EXPECT_TRUE(o.loadDir == "solved" && o.config == "s.ini");
    ASSERT_EQ(parse({"lumetra"}, after).code, -1);
    EXPECT_EQ(o.config, "./lumetra.ini");
    ASSERT_EQ(parse({"lumetra", "--", "-odd.ini"}, after).code, -1);
    EXPECT_EQ(o.config, "-odd.ini");

    // Unknown options before glutInit are run without a display below, and
    // after it on a display in e2e/viewer_e2e.py.
    const Parsed bad = parse({"lumetra", "--load", "", "s.ini"}, before);
    EXPECT_EQ(bad.code, kExitUsageError);
    EXPECT_TRUE(fixture::contains(bad.err, "lumetra: --load: needs a folder")) << bad.err;
}

// The real programs, as on a machine without X: usage errors exit 1 with
// CLI11's own codes mapped. (--help and --version without a display are run
// from an installed copy in e2e/install.sh.)
TEST(ToolCommandLines, UsageErrorsWithoutDisplay) {
    for (const std::string tool : {"lumetra", "lumetra-batch", "lumetra-bench"}) {
        const fixture::Result bad =
            runTool(tool, tool == "lumetra-batch" ? "a.ini --no-such-option" : "--no-such-option");
        EXPECT_EQ(bad.code, kExitUsageError) << bad.err;
        EXPECT_EQ(bad.out + bad.err, tool +
                                         ": The following argument was not expected: --no-such-option\n"
                                         "Run with --help for more information.\n");
    }
    const fixture::Result unknownKey = runTool("lumetra", "--set nope=1 scene.ini");
    EXPECT_EQ(unknownKey.code, kExitUsageError);
    EXPECT_TRUE(fixture::contains(unknownKey.err, "lumetra: --set: unknown key 'nope'")) << unknownKey.err;
}
