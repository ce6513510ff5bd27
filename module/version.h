#pragma once
// The release's version: the About box shows it, and the release package is
// named after it (scripts/package.sh reads it from here). Plain C, so the
// resource compiler takes it too.
#define VLM_VERSION "1.1"
