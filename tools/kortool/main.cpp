// SPDX-License-Identifier: Apache-2.0
// kortool: look into frame caches, check them, convert them and preview them, through the
// public API only, as a pipeline tool would.
//
//   kortool [--log FILE] info|verify|convert|preview|channels ...   (kortool --help)
#include "Commands.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <korloader/IKor.h>

int main(int argc, char** argv) {
    CLI::App app{"kortool: inspect, verify, convert and preview fluid simulation frame caches "
                 "(kor, OpenVDB, Field3D)"};
    app.require_subcommand(1);
    // --log is accepted before or after the command.
    app.fallthrough();
    std::string logPath;
    app.add_option("--log", logPath, "Write the library's diagnostic log to FILE");

    std::vector<std::string> files;
    bool json = false;
    CLI::App* info = app.add_subcommand("info", "Grid size, transform, channels with their "
                                                "range and mean, and particle groups of frames");
    info->add_option("files", files, "Frame files (kor, vdb, f3d)")->required();
    info->add_flag("--json", json, "One JSON object per file (a list for several)");

    CLI::App* verify = app.add_subcommand(
        "verify", "Open and decode every channel; exit status 0 only when every file is sound");
    verify->add_option("files", files, "Frame files")->required();

    kortool::ConvertOptions convert;
    int threads = 0;
    CLI::App* convertCommand = app.add_subcommand(
        "convert", "VDB or F3D to kor, kor to VDB, kor to kor; IN and OUT may be patterns "
                   "such as smoke.####.kor for whole sequences");
    convertCommand->add_option("IN", convert.input, "Input frame or pattern")->required();
    convertCommand->add_option("OUT", convert.output, "Output frame or pattern")->required();
    convertCommand->add_option("--mapping", convert.mapping,
                               "Channel mapping for VDB/F3D input, e.g. \"2,density;1,heat;\" "
                               "(default: the file's default mapping)");
    convertCommand
        ->add_option("--bits", convert.bits,
                     "Quantisation bits of kor output: 1..19, or 20..32 for exact floats")
        ->check(CLI::Range(1, 32))
        ->capture_default_str();
    convertCommand->add_option("--threads", threads, "Encode on a pool of N threads")
        ->check(CLI::Range(0, 256));

    kortool::PreviewOptions preview;
    std::string axis = "z";
    CLI::App* previewCommand =
        app.add_subcommand("preview", "A PNG of one slice of a channel or its maximum projection");
    previewCommand->add_option("FILE", preview.file, "Frame file")->required();
    previewCommand->add_option("-o,--output", preview.output, "PNG file to write")->required();
    previewCommand->add_option("--channel", preview.channel,
                               "Channel name (Smoke, Temperature, VelocityX, ...) or slot "
                               "number (default: Smoke, else the first present)");
    previewCommand->add_option("--axis", axis, "Axis to look along")
        ->check(CLI::IsMember({"x", "y", "z"}))
        ->capture_default_str();
    CLI::Option* slice =
        previewCommand->add_option("--slice", preview.slice, "Slice index (default: the middle)")
            ->check(CLI::NonNegativeNumber);
    previewCommand->add_flag("--max", preview.maxProjection, "Maximum projection along the axis")
        ->excludes(slice);

    std::string channelsFile;
    CLI::App* channels = app.add_subcommand(
        "channels", "The grids a VDB or F3D file offers, with flags, and its default mapping");
    channels->add_option("FILE", channelsFile, "VDB or F3D file")->required();

    CLI11_PARSE(app, argc, argv);
    try {
        if (!logPath.empty() && korSetLogFile(logPath.c_str(), 1) == 0) {
            std::fprintf(stderr, "kortool: the log file %s cannot be created\n", logPath.c_str());
            return 2;
        }
        // Plug-ins beside the library; without them VDB and F3D files cannot be opened.
        initalizeKoraLoader(nullptr, nullptr, 0);
        if (threads > 0) {
            korSetThreadCount(threads);
        }
        int status = 0;
        if (info->parsed()) {
            status = kortool::runInfo(files, json);
        } else if (verify->parsed()) {
            status = kortool::runVerify(files, logPath);
        } else if (convertCommand->parsed()) {
            status = kortool::runConvert(convert);
        } else if (previewCommand->parsed()) {
            preview.axis = axis[0];
            status = kortool::runPreview(preview);
        } else {
            status = kortool::runChannels(channelsFile);
        }
        korSetThreadCount(0);
        return status;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kortool: %s\n", error.what());
        return 1;
    }
}
