// A run's choices and counters, in one record: the front end makes one for
// the run and hands it to every conversion (OutputPlace::run). Code below a
// conversion asks currentRun(); a conversion begun without one (tests,
// fuzzing) runs under plainRun(): BMP pictures, raw palettes, nothing forced.
#pragma once

#include <atomic>
#include <string>

#include "pictures/formats.h"

struct RunChoices {
    bool dryRun = false;  // --dry-run: nothing is written, made or removed; each change is told
    bool force = false;   // --force: outputs edited since they were written are replaced too
    PictureFormat picture = PictureFormat::Bmp;
    PaletteFormat palette = PaletteFormat::Raw;
    bool pictureGiven = false;  // --format given: a folder written in another format switches
    bool paletteGiven = false;  // --palette-format given
};

struct ModFolder;  // back/mod.h

struct RunContext {
    RunChoices choices;
    std::atomic<unsigned long> failedOutputs{0};  // outputs that could not be put in place
    std::atomic<unsigned long> placedOutputs{0};  // outputs put in place
    ModFolder* mod = nullptr;                     // assetpack --output: the mod folder
};

// The run of conversions begun without one.
RunContext& plainRun();
// The run of this thread's conversion (plainRun() outside one).
RunContext& currentRun();
