// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/PlotModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "measure/loopback/LoopbackResult.h"
#include "measure/soak/SoakPlotModule.h"
#include "measure/soak/SoakTimeline.h"
#include "plot/AnalysisPlot.h"
#include "plot/LoopbackPlot.h"
#include "plot/SoakPlot.h"

namespace {

std::string ExecutableDirectory()
{
    char path[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    std::string exe(path, static_cast<std::size_t>(n));
    std::size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash);
}

// The module's entry point `symbol`, or null with `error`. The module stays
// loaded: Qt's application object lives in it until exit.
void* PlotEntryPoint(const char* symbol, std::string& error)
{
    const std::string here = ExecutableDirectory();
    void* module = nullptr;
    for (const std::string& candidate : {here + "/libtallowmere_plot.so", here + "/../lib/tallowmere/libtallowmere_plot.so"}) {
        module = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module != nullptr)
            break;
    }
    if (module == nullptr) {
        const char* why = ::dlerror();
        error = std::string("the plot module cannot be loaded") + (why != nullptr ? ": " + std::string(why) : "");
        return nullptr;
    }
    void* entry = ::dlsym(module, symbol);
    if (entry == nullptr)
        error = "the plot module has no entry point";
    return entry;
}

} // namespace

bool PlotModuleInThisBuild()
{
    return true;
}

bool WritePlotThroughModule(const SignalAnalysis& analysis, const std::string& title, const std::string& path,
                            std::string& error)
{
    auto entry = reinterpret_cast<WriteAnalysisPlotEntry>(PlotEntryPoint(WriteAnalysisPlotSymbol, error));
    if (entry == nullptr)
        return false;
    char why[512] = {};
    if (entry(&analysis, title.c_str(), path.c_str(), why, sizeof why) == 1)
        return true;
    error = why;
    return false;
}

bool WriteLoopbackPlotThroughModule(const CLoopbackRun& run, const std::string& path, std::string& error)
{
    auto entry = reinterpret_cast<WriteLoopbackPlotEntry>(PlotEntryPoint(WriteLoopbackPlotSymbol, error));
    if (entry == nullptr)
        return false;
    const std::string title = LoopbackRunTitle(run);
    LoopbackPlotInput input;
    input.title = title.c_str();
    input.response = &run.measures.response;
    input.tone = &run.measures.tone;
    input.bandLowHz = SweepStartHz;
    input.bandHighHz = SweepTopShare * run.format.sampleRate;
    char why[512] = {};
    if (entry(&input, path.c_str(), why, sizeof why) == 1)
        return true;
    error = why;
    return false;
}

bool WriteSoakPlotThroughModule(const SoakRun& run, const std::string& path, std::string& error)
{
    auto entry = reinterpret_cast<WriteSoakPlotEntry>(PlotEntryPoint(WriteSoakPlotSymbol, error));
    if (entry == nullptr)
        return false;
    const SoakTimeline timeline = MakeSoakTimeline(run);
    const SoakPlotInput input = timeline.Input();
    char why[512] = {};
    if (entry(&input, path.c_str(), why, sizeof why) == 1)
        return true;
    error = why;
    return false;
}
