// What the loader skipped or changed, reported line by line to an optional sink. The
// library itself passes no sink; the settings checker of the command-line tool does, so its
// warnings come from the loader itself and cannot drift from it.
#ifndef KESVAR_SETTINGS_DIAGNOSTICS_H
#define KESVAR_SETTINGS_DIAGNOSTICS_H

#include <stdint.h>

namespace kesvar {

struct ClassSecurityList;

enum DiagCode {
    kDiagUnreadLine = 1,  // a line outside every section, before the first '[' line
    kDiagRepeatedSection, // a repeated fixed-name section: never read
    kDiagNoEquals,        // a line without '=' inside a section
    kDiagUnknownKey,      // a key the section does not know; detail: the section
    kDiagRepeatedKey,     // a key already given in the section: the first value wins
    kDiagKeyTooLong,      // a key of 13 or more characters: line dropped
    kDiagPieceEmpty,      // an empty list piece: skipped
    kDiagPieceTooLong,    // a list piece of 13 or more characters (or cut at 255)
    kDiagPieceRepeated,   // a list piece already in the entry
    kDiagValueOutOfRange, // a client lag not 1 or 2: line dropped; detail: the value
    kDiagValueClamped,    // a long weight outside 0 to 1: 1.0; detail: the number as written
    kDiagMainMarginSpace, // a space next to a comma hides a MAINMARGINCLASSES code
    kDiagNameTooLong,     // a client or template name too long: not a header
    kDiagTagCut,          // a board tag or trade account cut to its field
    kDiagClientDiscarded, // a client record whose code an earlier section took
    kDiagClientSkipped,   // a template client piece that is empty, too long or ends in '*'
    kDiagNoComma,         // a SECURITYWEIGHT value without ',': line dropped
    kDiagValueTooLong,    // a value of 256 or more characters where a shorter one is needed
    // a template without a CLIENTS line: it makes no client record
    kDiagTemplateNoClients,
    kDiagNotANumber,       // a value without digits: read as 0; detail: the value
    kDiagNumberTrailing,   // text after a number: ignored; detail: that text
    kDiagFlagNotBinary,    // a switch other than 0 or 1: read as 1; detail: the value
    kDiagCreditLagRange,   // CREDITLAG not 1 or 2: kept, works as 1; detail: the value
    kDiagShortWeightClamp, // a short weight below 1: 1.0; detail: the number as written
    kDiagUnknownSection,   // a '[' line no reader knows; the lines under it are never read
    kDiagByteOrderMark,    // the text starts with a UTF-8 byte-order mark; subject: line 1
    kDiagEmptyText,        // nothing but blank lines
    kDiagEmptySection,     // a fixed-name section without a single KEY=VALUE line
    kDiagRepeatedClass,    // a second line for a class in one list: lookups by code miss it
    kDiagVolumeLine,       // a line that begins with VOLUME: it sets the firm's volume flag
    kDiagVolumeIgnored,    // VOLUME on the first line or indented; detail: which
    kDiagBlankInKey,       // a tab or space inside a key: it matches no code; detail: which
    kDiagBlankAfterNumber, // a tab after a number: read as the number; detail: that text
};

// One report: 1-based line number in the text, the code, and the text it is about.
typedef void (*DiagnosticFunc)(void* user, int32_t line, DiagCode code, const char* subject);
// The same with what the code's comment calls its detail ("" when it has none).
typedef void (*DiagnosticDetailFunc)(void* user, int32_t line, DiagCode code, const char* subject,
                                     const char* detail);
// Each security list entry as read (list sections, client sections, templates), before any
// "<ALL>" expansion, so a caller that knows the host's classes can check the codes against
// them. `settings` is the record the entry is read for (its firm holds the codes: ClassCodeOf,
// SecuritiesOf and ListedCode of settings.h read them).
struct FirmSettings;
typedef void (*ListEntryFunc)(void* user, int32_t line, const FirmSettings* settings,
                              const ClassSecurityList* entry);

struct DiagnosticSink {
    DiagnosticFunc report;
    void* user;
    DiagnosticDetailFunc reportDetail = nullptr; // when set, called instead of `report`
    ListEntryFunc listEntry = nullptr;
};

inline void Report(DiagnosticSink* sink, int32_t line, DiagCode code, const char* subject,
                   const char* detail = nullptr) {
    if (!sink) return;
    if (sink->reportDetail)
        sink->reportDetail(sink->user, line, code, subject, detail ? detail : "");
    else if (sink->report)
        sink->report(sink->user, line, code, subject);
}

} // namespace kesvar

#endif
