#pragma once
// What kind of file a download is, judged from its name, and whether its first
// bytes look like that kind. Vendor sites often answer a download with an HTML
// page saved under the requested name; these checks keep such files out of
// the library. They read at most 64 bytes of a file.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "util/error.hpp"

namespace kestrel::import {

namespace fs = std::filesystem;

enum class FileKind {
    Archive,           // zip, unpacked by the import pipeline
    Datasheet,         // pdf
    Model3d,           // step, stp
    VrmlModel,         // wrl
    KicadSymbol,       // kicad_sym
    KicadFootprint,    // kicad_mod
    EagleLibrary,      // lbr
    AltiumSchematic,   // SchLib
    AltiumPcb,         // PcbLib
    AltiumIntegrated,  // IntLib
    AltiumPackage,     // LibPkg
};

struct Classification {
    FileKind kind = FileKind::Archive;
    std::string_view extension;         // the lower-cased key it was found under ("stp")
    std::string_view stored_extension;  // what the chip folder calls it ("step"); empty for archives
    bool checked = false;               // whether check_content runs before the copy
};

// The final path component's text after its last '.', or nothing when the
// component has no dot, only a leading dot (".hidden"), is "..", or the text
// after the dot is not valid UTF-8.
std::optional<std::string> file_extension(const fs::path& path);

// The kind of `path` from its extension (ASCII case ignored), or nothing when
// the extension is missing or not one the library keeps.
std::optional<Classification> classify(const fs::path& path);

// Checks the first 64 bytes of `path` against the markers of `extension`
// (lower-cased key such as "pdf" or "stp"): first an HTML sniff, then the
// kind's own marker. Kinds stored without a check (zip, lbr, the Altium
// kinds, unknown extensions) pass without the file being opened. Fails with a
// message naming the path, or with the file system's error when the file
// cannot be opened or read.
util::Status check_content(const fs::path& path, std::string_view extension);

}  // namespace kestrel::import
