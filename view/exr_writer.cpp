#include "view/exr_writer.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfOutputFile.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>

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
