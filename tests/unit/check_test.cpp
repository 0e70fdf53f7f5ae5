#include "import/check.hpp"

#include "test_support.hpp"

using namespace kestrel;
using kestrel::testing::ScopedTempDir;
using kestrel::testing::write_file;
namespace fs = std::filesystem;

TEST(FileExtension, TakesTextAfterTheLastDotOfTheLastComponent) {
    struct Case {
        const char* path;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"dir/x.PDF", "PDF"},
        {"a.b/x.tar.zip", "zip"},
        {"dir.d/README", std::nullopt},  // the dot of a folder does not count
        {".hidden", std::nullopt},       // a leading dot is no extension separator
        {"..", std::nullopt},
        {"x.", ""},                      // a dot with nothing after it
        {"x.p\xFF", std::nullopt},       // not valid UTF-8
    };
    for (const Case& c : cases) {
        EXPECT_EQ(import::file_extension(c.path), c.expected) << c.path;
    }
}

TEST(Classify, MapsExtensionsToStoredNamesInAnyCase) {
    struct Case {
        const char* path;
        import::FileKind kind;
        const char* stored;
        bool checked;
    };
    const Case cases[] = {
        {"d.PDF", import::FileKind::Datasheet, "pdf", true},
        {"m.STP", import::FileKind::Model3d, "step", true},  // stored under the one STEP name
        {"m.Step", import::FileKind::Model3d, "step", true},
        {"m.wrl", import::FileKind::VrmlModel, "wrl", true},
        {"s.KiCad_Sym", import::FileKind::KicadSymbol, "kicad_sym", true},
        {"f.kicad_mod", import::FileKind::KicadFootprint, "kicad_mod", true},
        {"e.LBR", import::FileKind::EagleLibrary, "lbr", false},
        {"a.schlib", import::FileKind::AltiumSchematic, "SchLib", false},  // Altium keeps mixed case
        {"a.PCBLIB", import::FileKind::AltiumPcb, "PcbLib", false},
        {"a.intlib", import::FileKind::AltiumIntegrated, "IntLib", false},
        {"a.LibPkg", import::FileKind::AltiumPackage, "LibPkg", false},
        {"bundle.ZIP", import::FileKind::Archive, "", false},
    };
    for (const Case& c : cases) {
        std::optional<import::Classification> got = import::classify(c.path);
        ASSERT_TRUE(got) << c.path;
        EXPECT_EQ(got->kind, c.kind) << c.path;
        EXPECT_EQ(got->stored_extension, c.stored) << c.path;
        EXPECT_EQ(got->checked, c.checked) << c.path;
    }
    for (const char* skipped : {"notes.txt", "README", ".hidden", "x.pdf.bak", "x."}) {
        EXPECT_FALSE(import::classify(skipped)) << skipped;
    }
}

TEST(CheckContent, JudgesTheHeadAgainstTheKindsMarkers) {
    ScopedTempDir tmp;
    struct Case {
        const char* name;
        std::string content;
        const char* ext;
        const char* failure;  // message before ": {path}", or nullptr when the check passes
    };
    const std::string pad(64, ' ');
    const Case cases[] = {
        {"ok.pdf", "%PDF-1.7\n", "pdf", nullptr},
        {"html.pdf", "<!DOCTYPE HTML PUBLIC \"-//W3C\">", "pdf",
         "file looks like HTML (probably a CDN denial / 404 page), not a pdf"},
        {"tag.pdf", "<HTML><body>denied", "pdf", "file looks like HTML (probably a CDN denial / 404 page), not a pdf"},
        {"head.step", "junk before <head> ISO-10303-21", "step",
         "file looks like HTML (probably a CDN denial / 404 page), not a step"},
        // The message names the extension as found, not the stored one.
        {"html.stp", "<html>", "stp", "file looks like HTML (probably a CDN denial / 404 page), not a stp"},
        // Markup that does not open the file, with no <head> in 32 bytes, passes the sniff.
        {"late.pdf", "   <html><body>", "pdf", "not a real PDF (missing %PDF magic)"},
        {"late-head.pdf", std::string(32, ' ') + "<head>", "pdf", "not a real PDF (missing %PDF magic)"},
        {"short.pdf", "%PD", "pdf", "not a real PDF (missing %PDF magic)"},
        {"empty.pdf", "", "pdf", "not a real PDF (missing %PDF magic)"},
        {"tiny.step", "ISO", "step", "not a real STEP (missing ISO-10303-21 header)"},
        {"ok.stp", "  ISO-10303-21;\nHEADER;", "stp", nullptr},
        // Markers beyond the 64-byte head are not seen.
        {"late.step", pad + "ISO-10303-21;", "step", "not a real STEP (missing ISO-10303-21 header)"},
        {"ok.kicad_sym", "(kicad_symbol_lib (version 20211014)", "kicad_sym", nullptr},
        {"comment.kicad_sym", "#" + pad + "kicad_symbol_lib", "kicad_sym", "not a real KiCad symbol library"},
        {"new.kicad_mod", "(footprint \"X\" (version 20221018)", "kicad_mod", nullptr},
        {"old.kicad_mod", "(module X (layer F.Cu)", "kicad_mod", nullptr},
        {"bad.kicad_mod", "(symbol X)", "kicad_mod", "not a real KiCad footprint"},
        {"any.wrl", "#VRML V2.0 utf8", "wrl", nullptr},
        {"html.wrl", "<html>", "wrl", "file looks like HTML (probably a CDN denial / 404 page), not a wrl"},
        // Kinds without a check pass whatever they hold.
        {"html.intlib", "<html>", "intlib", nullptr},
        {"html.LBR", "<!doctype html>", "LBR", nullptr},
        // Marker comparisons are exact: case matters outside the HTML sniff.
        {"lower.pdf", "%pdf-1.4", "pdf", "not a real PDF (missing %PDF magic)"},
    };
    for (const Case& c : cases) {
        fs::path file = tmp.path() / c.name;
        write_file(file, c.content);
        util::Status st = import::check_content(file, c.ext);
        if (c.failure == nullptr) {
            EXPECT_TRUE(st) << c.name << ": " << st.error().message;
        } else {
            ASSERT_FALSE(st) << c.name;
            EXPECT_EQ(st.error().message, std::string(c.failure) + ": " + file.string()) << c.name;
        }
    }
}

TEST(CheckContent, FailsWithTheSystemsErrorWhenTheFileCannotBeRead) {
    ScopedTempDir tmp;
    util::Status missing = import::check_content(tmp.path() / "gone.pdf", "pdf");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().message.find("No such file"), std::string::npos) << missing.error().message;
    util::Status folder = import::check_content(tmp.path(), "pdf");
    EXPECT_FALSE(folder);
}
