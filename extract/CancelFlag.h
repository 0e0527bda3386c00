#pragma once

// The program's one cancel flag: set when the running export is to stop, or
// has stopped, without a complete file. Cleared at the start of every export
// and by the overwrite question; set by the main window's Cancel button, by a
// No to the overwrite question and by leaving the save dialog; tested by every
// record loop of the builder and the writers, which are handed this instance.

#include "writers/ExportContext.h"

CancelFlag &ProgramCancelFlag();
