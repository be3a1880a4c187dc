#include "view/exr_writer.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace {

// An output stream into a string that the encoder may seek back into (it
// fills in the line offset table at the end).
class StringOStream : public Imf::OStream {
  public:
    explicit StringOStream(std::string& bytes) : Imf::OStream("memory"), bytes_(bytes) {}
    void write(const char c[], int n) override {
        const std::size_t end = position_ + static_cast<std::size_t>(n);
        if (end > bytes_.size()) bytes_.resize(end);
        std::memcpy(&bytes_[position_], c, static_cast<std::size_t>(n));
        position_ = end;
    }
    uint64_t tellp() override { return position_; }
    void seekp(uint64_t pos) override { position_ = static_cast<std::size_t>(pos); }

  private:
    std::string& bytes_;
    std::size_t position_ = 0;
};

class StringIStream : public Imf::IStream {
  public:
    explicit StringIStream(const std::string& bytes) : Imf::IStream("memory"), bytes_(bytes) {}
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

const char* const kChannels[3] = {"R", "G", "B"};

}  // namespace

std::string encodeExr(int width, int height, const std::vector<float>& rgb, std::string& bytes) {
    bytes.clear();
    if (width <= 0 || height <= 0 ||
        rgb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
        return "picture has no pixels";
    }
    try {
        Imf::Header header(width, height);
        for (const char* c : kChannels) header.channels().insert(c, Imf::Channel(Imf::FLOAT));
        StringOStream stream(bytes);
        Imf::OutputFile file(stream, header);
        Imf::FrameBuffer frame;
        const std::size_t pixel = 3 * sizeof(float);
        // The encoder only reads the frame buffer; the cast follows its API.
        char* base = reinterpret_cast<char*>(const_cast<float*>(rgb.data()));
        for (int c = 0; c < 3; ++c) {
            frame.insert(kChannels[c], Imf::Slice(Imf::FLOAT, base + c * sizeof(float), pixel,
                                                  pixel * static_cast<std::size_t>(width)));
        }
        file.setFrameBuffer(frame);
        file.writePixels(height);
    } catch (const std::exception& e) {
        bytes.clear();
        return std::string("OpenEXR: ") + e.what();
    }
    return {};
}

std::string decodeExr(const std::string& bytes, int& width, int& height, std::vector<float>& rgb) {
    try {
        StringIStream stream(bytes);
        Imf::InputFile file(stream);
        const Imath::Box2i window = file.header().dataWindow();
        width = window.max.x - window.min.x + 1;
        height = window.max.y - window.min.y + 1;
        rgb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0.0f);
        Imf::FrameBuffer frame;
        const std::size_t pixel = 3 * sizeof(float);
        const std::size_t row = pixel * static_cast<std::size_t>(width);
        // Slices are addressed from the data window's origin.
        char* origin = reinterpret_cast<char*>(rgb.data()) -
                       static_cast<std::ptrdiff_t>(window.min.x) * pixel -
                       static_cast<std::ptrdiff_t>(window.min.y) * row;
        for (int c = 0; c < 3; ++c) {
            frame.insert(kChannels[c], Imf::Slice(Imf::FLOAT, origin + c * sizeof(float), pixel, row));
        }
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
    } catch (const std::exception& e) {
        return std::string("OpenEXR: ") + e.what();
    }
    return {};
}
