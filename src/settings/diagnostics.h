// What the loader skipped or changed, reported line by line to an optional sink. The
// library itself passes no sink; the settings checker of the command-line tool does, so its
// warnings come from the loader itself and cannot drift from it.
#ifndef KESVAR_SETTINGS_DIAGNOSTICS_H
#define KESVAR_SETTINGS_DIAGNOSTICS_H

#include <stdint.h>

namespace kesvar {

enum DiagCode {
    kDiagUnreadLine = 1,  // a line no reader looked at (unknown section, before any header)
    kDiagRepeatedSection, // a repeated fixed-name section: never read
    kDiagNoEquals,        // a line without '=' inside a section
    kDiagUnknownKey,      // a key the section does not know
    kDiagRepeatedKey,     // a key already given in the section: the first value wins
    kDiagKeyTooLong,      // a key of 13 or more characters: line dropped
    kDiagPieceEmpty,      // an empty list piece: skipped
    kDiagPieceTooLong,    // a list piece of 13 or more characters (or cut at 255)
    kDiagPieceRepeated,   // a list piece already in the entry
    kDiagValueOutOfRange, // e.g. CLIENTLAG not 1 or 2: line dropped
    kDiagValueClamped,    // a weight clamped into its range
    kDiagMainMarginSpace, // a space next to a comma hides a MAINMARGINCLASSES code
    kDiagNameTooLong,     // a client or template name too long: not a header
    kDiagTagCut,          // a board tag or trade account cut to its field
    kDiagClientDiscarded, // a client record whose code an earlier section took
    kDiagClientSkipped,   // a template client piece that is empty, too long or ends in '*'
    kDiagNoComma,         // a SECURITYWEIGHT value without ',': line dropped
    kDiagValueTooLong,    // a value of 256 or more characters where a shorter one is needed
    // a template without a CLIENTS line: it makes no client record
    kDiagTemplateNoClients,
};

// One report: 1-based line number in the text, the code, and the text it is about.
typedef void (*DiagnosticFunc)(void* user, int32_t line, DiagCode code, const char* subject);

struct DiagnosticSink {
    DiagnosticFunc report;
    void* user;
};

inline void Report(DiagnosticSink* sink, int32_t line, DiagCode code, const char* subject) {
    if (sink && sink->report) sink->report(sink->user, line, code, subject);
}

} // namespace kesvar

#endif
