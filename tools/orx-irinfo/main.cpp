// orx-irinfo: what the program makes of an impulse-response file, and why it refuses one.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CFIRFile.h"
#include "IrAnalysis.h"
#include "IrConversion.h"
#include "IrFileFacts.h"
#include "IrLoad.h"
#include "IrNameText.h"
#include "IrPlot.h"
#include "PlotPng.h"
#include "ProgramInfo.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {

int usage(std::FILE* out, int status)
{
    std::fputs("usage: orx-irinfo FILE [--channel 0|1] [--convert] [--taps] [--plot PICTURE.png]\n"
               "       orx-irinfo --help | --version\n"
               "Prints the file's name, what its bytes are (format), its rate, channels, bits, frames and each\n"
               "check the program makes, then the channel and the IR name it would send to the amplifier,\n"
               "or the error it would show and, on the note line, why and what to do.\n"
               "Before them, the IR's figures at 44100 Hz: length, peak, leading silence and level of the whole\n"
               "file, and how much of its energy the 2048 taps keep and at what level.\n"
               "--taps: also prints the 2048 coefficients sent, one per line, after \"coefficients:\".\n"
               "--plot PICTURE.png: also draws the picture of Edit \u25B8 IR File Info... (the figures, the\n"
               "magnitude response of the whole file and of the taps, the 46 ms of taps) into PICTURE.png.\n"
               "--convert: as the program with Properties \u25B8 IR File Conversion on: prints what the file is\n"
               "(source), whether it loads without the conversion, what is converted and how (result).\n"
               "Exit status: 0 when the file loads (and the picture, if asked for, is written), 1 when not.\n",
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

// How the conversion makes the 16-bit coefficients at 44100 Hz of a file it loads.
std::string resultText(const IrFileFacts& facts, const eLibrary::IrLayout& layout, const eLibrary::IrVerdict& verdict)
{
    if (facts.loadsWithoutConversion)
        return "as without the conversion";
    const bool isFloat = verdict.coding.kind == eLibrary::SampleKind::Float;
    if (layout.sampleRate == eLibrary::kConvertedRate)
        return isFloat ? "float samples times 32767, rounded to the nearest" : "the upper 16 bits of each sample";
    char rate[64];
    std::snprintf(rate, sizeof rate, "%.10g", layout.sampleRate);
    return std::string("resampled from ") + rate + " Hz (libsoxr, high quality)" +
           (isFloat ? ", float samples times 32767" : "") + ", rounded to the nearest";
}

// The dialog's picture of the file and the taps it would send, into `plotPath`.
bool writePlot(const std::string& plotPath, const std::filesystem::path& path, int channel,
               const std::vector<double>& whole, const eLibrary::IrAnalysis& figures, const std::vector<double>& sent,
               const eLibrary::IrMeasures& taps)
{
    eLibrary::IrPlotData data = eLibrary::irPlotOf(whole, sent);
    data.lines = eLibrary::irFigureLines(path.filename().string(), channel, figures, taps, data.processed, "");
    const std::string problem = writeIrPlotPng(data, plotPath);
    if (!problem.empty()) {
        std::fprintf(stderr, "orx-irinfo: cannot write the plot %s: %s\n", plotPath.c_str(), problem.c_str());
        return false;
    }
    std::printf("plot: %s\n", plotPath.c_str());
    return true;
}

// The figures of the IR: the whole channel as the conversion reads it, and the taps that are sent; and the
// picture when --plot asks for it (`plotPath` not empty). False when the picture was asked for and could not be
// written.
bool printFigures(const std::filesystem::path& path, int channel, const std::int16_t* coefficients,
                  const std::string& plotPath)
{
    eLibrary::ConvertedIrFile file(path);
    std::vector<double> whole;
    if (!file.readWhole(channel, whole))
        return plotPath.empty();
    const eLibrary::IrAnalysis figures = eLibrary::analyseIr(whole);
    const std::vector<double> sent(coefficients, coefficients + eLibrary::kTapCount);
    const eLibrary::IrMeasures taps = eLibrary::measureIr(sent);
    const eLibrary::IrMeasures& w = figures.whole;
    std::printf("length: %zu samples (%.1f ms)\npeak: sample %zu (%.1f ms), %.1f dBFS\n"
                "leading silence: %zu samples (%.1f ms)\nlevel: peak %.1f dBFS, RMS %.1f dBFS\n"
                "taps keep: %.1f %% of the energy (%.2f dB)\ntaps level: peak %.1f dBFS, RMS %.1f dBFS\n",
                w.length, w.lengthMs, w.peakPosition, w.peakMs, w.peakDbfs, w.leadingSilence, w.leadingSilenceMs,
                w.peakDbfs, w.rmsDbfs, figures.tapsEnergyPercent(),
                // Nearly all of it would print as "-0.00", which reads as a fault.
                std::fabs(figures.tapsEnergyDb()) < 0.005 ? 0.0 : figures.tapsEnergyDb(), taps.peakDbfs,
                taps.rmsDbfs);
    return plotPath.empty() || writePlot(plotPath, path, channel, whole, figures, sent, taps);
}

// What the program would send: the channel used, the IR name from the file name and, with --taps, the 2048
// coefficients.
int printLoaded(const eLibrary::IrTaps& loaded, const std::filesystem::path& path, bool taps,
                const std::string& plotPath)
{
    const bool plotted = printFigures(path, loaded.channel, loaded.coefficients.data(), plotPath);
    const std::string stem = path.filename().string();
    const auto name = orx::irNameField(std::string_view(stem).substr(0, stem.rfind('.')));
    std::printf("channel: %d\nIR name: \"%s\"\n", loaded.channel, reinterpret_cast<const char*>(name.data()));
    if (taps) {
        std::puts("coefficients:");
        for (std::int16_t c : loaded.coefficients)
            std::printf("%d\n", c);
    }
    return plotted ? 0 : 1;
}

int printRefusal(const eLibrary::IrRefusal& refusal)
{
    std::printf("error: %s\nnote: %s\n", refusal.text.c_str(), refusal.note.c_str());
    return 1;
}

struct Request {
    std::filesystem::path path;
    int channel = 0;
    bool taps = false;
    std::string plotPath;
};

// The loading as the program does it; a mono file has only channel 0, whatever was asked.
eLibrary::IrLoadOutcome load(const Request& request, bool convert)
{
    return eLibrary::tryLoadIr(request.path, eLibrary::IrLoadOptions{.convert = convert, .processing = {}},
                               [&request] { return request.channel; });
}

// The conversion's view of the file: what it is, what happens to it, and what is sent.
int convertedInfo(const Request& request, const IrFileFacts& facts)
{
    std::printf("conversion: on\nsource: %s\nloads without conversion: %s\n",
                facts.description.empty() ? "unknown" : facts.description.c_str(), yesNo(facts.loadsWithoutConversion));
    const eLibrary::IrLoadOutcome outcome = load(request, true);
    if (!outcome.taps)
        return printRefusal(outcome.refusal);
    if (!facts.conversion.empty())
        std::printf("converted: %s\n", facts.conversion.c_str());
    const eLibrary::ConvertedIrFile converted(request.path);
    std::printf("result: 44100 Hz, 16 bits: %s\n", resultText(facts, converted.layout(), converted.verdict()).c_str());
    return printLoaded(*outcome.taps, request.path, request.taps, request.plotPath);
}

} // namespace

int main(int argc, char** argv)
{
    if (orx::asksForVersion(argc, argv)) {
        std::fputs(orx::versionText("orx-irinfo").c_str(), stdout);
        return 0;
    }
    const char* file = nullptr;
    Request request;
    bool convert = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h"))
            return usage(stdout, 0);
        if (!std::strcmp(argv[i], "--convert")) {
            convert = true;
            continue;
        }
        if (!std::strcmp(argv[i], "--taps")) {
            request.taps = true;
            continue;
        }
        if (!std::strcmp(argv[i], "--plot") && i + 1 < argc) {
            request.plotPath = argv[++i];
            continue;
        }
        if (!std::strcmp(argv[i], "--channel") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (value != "0" && value != "1")
                return usage(stderr, 2);
            request.channel = value == "1";
        } else if (!file && argv[i][0] != '-') {
            file = argv[i];
        } else {
            return usage(stderr, 2);
        }
    }
    if (!file)
        return usage(stderr, 2);

    request.path = file;
    const IrFileFacts facts = inspectIrFile(request.path);
    std::printf("file: %s\nformat: %s\n", orx::validUtf8(file).c_str(), facts.format.c_str());
    if (convert)
        return convertedInfo(request, facts);
    // What the strict reader the name picks saw, when there was a file to read.
    if (const auto reader = CFIRFile::createReader(request.path); reader && !reader->isError())
        printFacts(*reader);
    const eLibrary::IrLoadOutcome outcome = load(request, false);
    if (!outcome.taps)
        return printRefusal(outcome.refusal);
    return printLoaded(*outcome.taps, request.path, request.taps, request.plotPath);
}
