// The picture and palette formats a run writes in: a run's choice (see
// store/run_context.h), named here so that the pictures and the store share
// the words without depending on each other.
#pragma once

enum class PictureFormat { Bmp, Png };
enum class PaletteFormat { Raw, Jasc, Gpl, Act };
