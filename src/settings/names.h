// The sections, key words and special words of the settings text, in one place. The readers
// match them where they read; this table serves the settings checker's suggestions and the
// test that holds the reference page (docs/settings.md) to what the loader reads.
#ifndef KESVAR_SETTINGS_NAMES_H
#define KESVAR_SETTINGS_NAMES_H

namespace kesvar {

struct SettingsSection {
    const char* name;        // the header without brackets; "CL*" stands for "CL" and a name
    const char* const* keys; // its key words, null-terminated; null when every key is a code
};

inline constexpr const char* kGeneralKeys[] = {
    "CREDITLAG", "RSTRNMBUY", "CHECKMAXCREDIT", "LIMITSINLOTS", "MAINMARGINCLASSES", nullptr};
// Client blocks also take class keys, as the list sections do.
inline constexpr const char* kClientSectionKeys[] = {"RSTRNMBUY", "IGNORERESTSHORTSECURITY",
                                                     nullptr};
inline constexpr const char* kClientTemplateKeys[] = {"CLIENTS", "RSTRNMBUY", nullptr};

inline constexpr SettingsSection kSettingsSections[] = {
    {"LIMITALLOWEDSECURITY", nullptr},
    {"ASSETSECURITIES", nullptr},
    {"RESTSHORTSECURITIES", nullptr},
    {"GENERAL", kGeneralKeys},
    {"CL*_MARGIN", kClientSectionKeys},
    {"CL*_MARGIN_TEMPLATE", kClientTemplateKeys},
    {"CLIENTLAG", nullptr},
    {"SECURITYWEIGHT", nullptr},
    {"BOARDTAG", nullptr},
    {"ADDLIMITBOARDS", nullptr},
    {"ADDREPOBOARDS", nullptr},
    {"ADDLIMITTRDACC", nullptr},
    {"ADDREPOTRDACC", nullptr},
};

// Words with a meaning of their own: a list piece, two class-key suffixes of client blocks,
// and the start of a line anywhere in the text after the first line.
inline constexpr const char* kSettingsWords[] = {"<ALL>", "_ASSET", "_RESTSHORT", "VOLUME",
                                                 nullptr};

} // namespace kesvar

#endif
