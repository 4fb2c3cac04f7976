// orx-irinfo: what the program makes of an impulse-response file, and why it refuses one.
#include "CFIRFile.h"
#include "ErrorTexts.h"
#include "GenericException.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

int usage(std::FILE* out, int status)
{
    std::fputs("usage: orx-irinfo FILE [--channel 0|1]\n"
               "Prints the file's format, rate, channels, bits, frames and each check the program makes,\n"
               "then the IR name and the 2048 coefficients (one per line) it would send to the amplifier,\n"
               "or the error it would show. Exit status: 0 when the file loads, 1 when it does not.\n",
               out);
    return status;
}

const char* yesNo(bool b)
{
    return b ? "yes" : "no";
}

void printFacts(eLibrary::AudioFormatReader& reader)
{
    std::printf("sample rate: %d (valid: %s)\nchannels: %d (valid: %s)\nbits per sample: %d (valid: %s)\n"
                "frames: %lld\nvalid: %s\n",
                reader.getSampleRate(), yesNo(reader.isValidSampleRate()), reader.getChannels(),
                yesNo(reader.isValidChannels()), reader.getBitsPerSample(), yesNo(reader.isValidBitsPerSample()),
                static_cast<long long>(reader.getLength()), yesNo(reader.isValid()));
}

std::string formatName(const std::filesystem::path& path)
{
    std::string extension = path.extension().string();
    for (auto& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".wav")
        return "WAV";
    if (extension == ".aif" || extension == ".aiff")
        return "AIFF";
    return "unsupported (" + (extension.empty() ? std::string("no extension") : extension) + ")";
}

} // namespace

int main(int argc, char** argv)
{
    const char* file = nullptr;
    int channel = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h"))
            return usage(stdout, 0);
        if (!std::strcmp(argv[i], "--channel") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (value != "0" && value != "1")
                return usage(stderr, 2);
            channel = value == "1";
        } else if (!file && argv[i][0] != '-') {
            file = argv[i];
        } else {
            return usage(stderr, 2);
        }
    }
    if (!file)
        return usage(stderr, 2);

    const std::filesystem::path path(file);
    std::printf("file: %s\nformat: %s\n", file, formatName(path).c_str());
    CFIRFile loader;
    try {
        try {
            loader.open(path);
        } catch (const mstd::CGenericException&) {
            // Show what the reader saw before the verdict, when there was a file to read.
            if (auto* reader = loader.getReader(); reader && !reader->isError()) {
                printFacts(*reader);
            }
            throw;
        }
        auto* reader = loader.getReader();
        printFacts(*reader);
        // A mono file has only channel 0, whatever was asked.
        if (reader->getChannels() < 2)
            channel = 0;
        std::int16_t coefficients[2048];
        loader.readCoefficients(coefficients, channel);
        std::uint8_t name[64];
        const std::string stem = path.filename().string();
        CFIRFile::copyIRName(name, stem.substr(0, stem.rfind('.')).c_str());
        std::printf("channel: %d\nIR name: %s\ncoefficients:\n", channel, reinterpret_cast<const char*>(name));
        for (std::int16_t c : coefficients)
            std::printf("%d\n", c);
        return 0;
    } catch (const mstd::CGenericException& e) {
        std::printf("error: %s\n", mstd::errorMessage(e.getCode()).c_str());
        return 1;
    }
}
