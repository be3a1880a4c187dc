#pragma once

// Reads OpenEXR pictures held in memory back for the tests: the R, G, B
// channels as floats, rows top first.

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace fixture {

class ExrMemoryStream : public Imf::IStream {
  public:
    explicit ExrMemoryStream(const std::string& bytes) : Imf::IStream("memory"), bytes_(bytes) {}
    bool read(char c[], int n) override {
        if (n < 0 || position_ + static_cast<std::size_t>(n) > bytes_.size()) {
            throw std::runtime_error("the picture ends early");
        }
        std::memcpy(c, bytes_.data() + position_, static_cast<std::size_t>(n));
        position_ += static_cast<std::size_t>(n);
        return position_ < bytes_.size();
    }
    uint64_t tellg() override { return position_; }
    void seekg(uint64_t pos) override { position_ = static_cast<std::size_t>(pos); }

  private:
    const std::string& bytes_;
    std::size_t position_ = 0;
};

inline std::string decodeExr(const std::string& bytes, int& width, int& height, std::vector<float>& rgb) {
    try {
        ExrMemoryStream stream(bytes);
        Imf::InputFile file(stream);
        const Imath::Box2i window = file.header().dataWindow();
        width = window.max.x - window.min.x + 1;
        height = window.max.y - window.min.y + 1;
        rgb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0.0f);
        Imf::FrameBuffer frame;
        const char* const names[3] = {"R", "G", "B"};
        const std::size_t pixel = 3 * sizeof(float);
        const std::size_t row = pixel * static_cast<std::size_t>(width);
        // Slices are addressed from the data window's origin.
        char* origin = reinterpret_cast<char*>(rgb.data()) -
                       static_cast<std::ptrdiff_t>(window.min.x) * pixel -
                       static_cast<std::ptrdiff_t>(window.min.y) * row;
        for (int c = 0; c < 3; ++c) {
            frame.insert(names[c], Imf::Slice(Imf::FLOAT, origin + c * sizeof(float), pixel, row));
        }
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
    } catch (const std::exception& e) {
        return std::string("OpenEXR: ") + e.what();
    }
    return {};
}

}  // namespace fixture
