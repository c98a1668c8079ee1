// Fonts for the window's Traditional Chinese labels.
#pragma once

// FLTK draws each face with one font and no per-glyph fallback, and its default face is
// whatever "sans" means in the current locale, which usually has no Chinese glyphs. This
// gives the default face a family that has the labels' glyphs, when one is installed.
// Returns the family chosen, or nullptr when none covers the labels (they then show boxes).
const char* useFontForLabels();
