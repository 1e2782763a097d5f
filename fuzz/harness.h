// The fuzz targets' bodies, shared by the libFuzzer entry points and the regression
// replayer (which is built without libFuzzer and runs in every test configuration).
#ifndef KESVAR_FUZZ_HARNESS_H
#define KESVAR_FUZZ_HARNESS_H

#include <stddef.h>
#include <stdint.h>

namespace kfuzz {

// A settings text (a NUL splits it into the texts of two firms) loaded over a fixed registry,
// then every query for every client; checked against the same texts loaded before the
// classes, against a reload, and for leaks.
int SettingsInput(const uint8_t* data, size_t size);
// Classes and securities with arbitrary bytes in every field, interleaved with settings loads,
// relinks, cleanups and queries.
int ClassesInput(const uint8_t* data, size_t size);
// Arbitrary limit records, prices, lot sizes and face values fed to the row and actv
// calculations over fixed settings.
int HostAnswersInput(const uint8_t* data, size_t size);

// The tool's readers (built where the tool is): a scenario JSON parsed and, if accepted, run
// in the in-memory host; a limits CSV file read as money and as position limits of a fixed
// scenario. A refusal must be the reader's own error; any other exception escapes.
int ScenarioInput(const uint8_t* data, size_t size);
int LimitsCsvInput(const uint8_t* data, size_t size);

typedef int (*Target)(const uint8_t* data, size_t size);
// The target of a name ("settings", "classes", "host_answers", and with the
// tool "scenario", "limits_csv"), or null.
Target TargetByName(const char* name);

} // namespace kfuzz

#endif
