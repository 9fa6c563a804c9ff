// --gallery: pages that show a run's outputs in any browser, written after
// the run from the inputs' listings and their folders' records. Each file
// gets a page (split into parts past a few hundred pictures), all linked
// from index.html at the gallery's root; pictures are referenced where they
// lie, never copied, and no page needs a script or anything from outside.
#pragma once

#include <string>
#include <vector>

#include "app/options.h"
#include "app/program.h"

struct GalleryFile {
    Job job;             // as collected, with its result
    std::string folder;  // its output folder
    std::string reasons; // what it said on standard error, for a failure
};

struct Gallery {
    std::vector<GalleryFile> files;
};

// Keeps what the gallery needs of a job once its lines are printed.
void galleryAdd(Gallery& gallery, const Job& job);
// Writes the gallery: below --output, or in ./assetdump-gallery without it.
// False, having said why, when it could not be written whole; an
// index.html that is not a gallery's is never replaced.
bool writeGallery(const Gallery& gallery, const Options& options, const Program& program);
