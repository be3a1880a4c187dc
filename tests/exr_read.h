#pragma once

// Reads an OpenEXR file's R, G, B channels back as floats, rows top first,
// for the tests.

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>

#include <exception>
#include <string>
#include <vector>

namespace fixture {

inline std::string readExr(const std::string& path, int& width, int& height, std::vector<float>& rgb) {
    try {
        Imf::InputFile file(path.c_str());
        const Imath::Box2i window = file.header().dataWindow();
        if (window.min.x != 0 || window.min.y != 0) return "the data window does not start at 0, 0";
        width = window.max.x + 1;
        height = window.max.y + 1;
        rgb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0.0f);
        Imf::FrameBuffer frame;
        const std::size_t pixel = 3 * sizeof(float);
        char* base = reinterpret_cast<char*>(rgb.data());
        for (int c = 0; c < 3; ++c) {
            frame.insert(std::string(1, "RGB"[c]), Imf::Slice(Imf::FLOAT, base + c * sizeof(float), pixel,
                                                              pixel * static_cast<std::size_t>(width)));
        }
        file.setFrameBuffer(frame);
        file.readPixels(0, height - 1);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

}  // namespace fixture
