// The part of an interactive report that moves: a price form and the library, compiled to
// WebAssembly, making the report again in the page at the prices the reader sets. Without
// scripts the form stays hidden and the page is the static report.
#ifndef KESVAR_TOOLS_INTERACTIVE_H
#define KESVAR_TOOLS_INTERACTIVE_H

#include <ostream>
#include <string>

#include "analyses/stress.h"
#include "analyses/whatif.h"

namespace kesvar_cli {

// The form, hidden until the script shows it: each security's price, a slider from -50% to
// +50% of it, a shift for all prices and a reset.
void WritePriceForm(std::ostream& out, const StressResult& r);

// Whether `module` can stand inside a script element (no "</script" in it).
bool Inlinable(const std::string& module);

// The scenario as read, its files and overrides, then `module` (the ES module kesvar_wasm
// builds) with the script that drives it.
void WritePriceScript(std::ostream& out, const StressResult& r, const WhatIf& whatIf,
                      const std::string& scenarioName, const std::string& module);

} // namespace kesvar_cli

#endif
