// Draws the 24 frames, encodes them and writes the embedded frame set.
//
//   make_frames <frame-set.bin> <frame-set.S.in> <frame-set.S> [--jpeg-dir DIR]
//               [--contact-sheet FILE.png] [--icon-dir DIR --icon-sizes N,N,...
//               [--maskable-icon-size N]] [--values FILE.json]
//
// The .S file, made from the template, pulls the .bin into the executable's
// read-only data as the symbols vormo_frame_set and vormo_frame_set_size.
// --values writes the program's fixed values as JSON.  --jpeg-dir also writes
// each frame as DIR/slot-NN.jpg; --contact-sheet writes all 24 at a quarter
// of their size on one PNG; --icon-dir writes the program's icon, slot 0's
// central square drawn at each of the sizes given (1 to 1024 pixels), as
// DIR/icon-SIZE.png for the icon theme and the page and, up to 256 pixels,
// as DIR/vormo-kidney.ico for Windows; --maskable-icon-size adds the page's
// maskable icon, DIR/icon-maskable-SIZE.png.

#include "artwork.hpp"
#include "bytes.hpp"
#include "contact_sheet.hpp"
#include "frame_set_writer.hpp"
#include "icons.hpp"
#include "jpeg_writer.hpp"
#include "png_writer.hpp"
#include "values.hpp"

#include "common/program.hpp"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using tools::Bytes;

struct Arguments {
    std::string bin;              // the frame set
    std::string asm_template;     // the assembler source's template ...
    std::string asm_out;          // ... and the source made from it
    std::string jpeg_dir;         // each frame as a JPEG file, if given
    std::string sheet_path;       // the contact sheet, if given
    std::string icon_dir;         // the icons, if given ...
    std::vector<int> icon_sizes;  // ... at these sizes
    int maskable_size = 0;        // the maskable icon's, if given
    std::string values_path;      // the program's values as JSON, if given
};

// An icon's size as the command line gives it, or 0.
int icon_size(const std::string& text)
{
    const int n = std::atoi(text.c_str());
    return n >= 1 && n <= 1024 && std::to_string(n) == text ? n : 0;
}

std::optional<Arguments> parse(const std::vector<std::string>& args)
{
    Arguments a;
    std::vector<std::string> outputs;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool valued = i + 1 < args.size();
        if (args[i] == "--jpeg-dir" && valued) {
            a.jpeg_dir = args[++i];
        } else if (args[i] == "--contact-sheet" && valued) {
            a.sheet_path = args[++i];
        } else if (args[i] == "--icon-dir" && valued) {
            a.icon_dir = args[++i];
        } else if (args[i] == "--icon-sizes" && valued) {
            std::istringstream list(args[++i]);
            std::string size;
            while (std::getline(list, size, ',')) {
                const int n = icon_size(size);
                if (n == 0) {
                    return std::nullopt;
                }
                a.icon_sizes.push_back(n);
            }
        } else if (args[i] == "--maskable-icon-size" && valued) {
            a.maskable_size = icon_size(args[++i]);
            if (a.maskable_size == 0) {
                return std::nullopt;
            }
        } else if (args[i] == "--values" && valued) {
            a.values_path = args[++i];
        } else {
            outputs.push_back(args[i]);
        }
    }
    if (outputs.size() != 3 || a.icon_dir.empty() != a.icon_sizes.empty() ||
        (a.maskable_size > 0 && a.icon_dir.empty())) {
        return std::nullopt;
    }
    a.bin = outputs[0];
    a.asm_template = outputs[1];
    a.asm_out = outputs[2];
    return a;
}

bool write_jpegs(const std::string& dir, const std::vector<Bytes>& jpegs)
{
    for (std::size_t slot = 0; slot < jpegs.size(); ++slot) {
        char name[32];
        std::snprintf(name, sizeof name, "/slot-%02zu.jpg", slot);
        if (!tools::write_file(dir + name, jpegs[slot])) {
            return false;
        }
    }
    return true;
}

bool write_contact_sheet(const std::string& path, const std::vector<Bytes>& pictures)
{
    int width = 0;
    int height = 0;
    const Bytes sheet = tools::contact_sheet(pictures, width, height);
    return tools::write_png(path, sheet, width, height);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::optional<Arguments> a = parse(std::vector<std::string>(argv + 1, argv + argc));
    if (!a) {
        std::fprintf(stderr,
                     "usage: make_frames <frame-set.bin> <frame-set.S.in> <frame-set.S> [--jpeg-dir DIR]"
                     " [--contact-sheet FILE.png] [--icon-dir DIR --icon-sizes N,N,... [--maskable-icon-size N]]"
                     " [--values FILE.json]\n");
        return 2;
    }
    std::vector<Bytes> pictures;
    std::vector<Bytes> jpegs;
    for (int slot = 0; slot < program::frame_count; ++slot) {
        pictures.push_back(tools::draw_frame(slot));
        jpegs.push_back(tools::encode_jpeg(pictures.back(), program::width, program::height));
    }
    const Bytes set = tools::frame_set(jpegs);
    const bool written = tools::write_file(a->bin, set) &&
                         tools::write_assembler(a->asm_template, a->asm_out, a->bin, set.size()) &&
                         (a->values_path.empty() || tools::write_file(a->values_path, tools::program_values())) &&
                         (a->jpeg_dir.empty() || write_jpegs(a->jpeg_dir, jpegs)) &&
                         (a->sheet_path.empty() || write_contact_sheet(a->sheet_path, pictures)) &&
                         (a->icon_dir.empty() || tools::write_icons(a->icon_dir, a->icon_sizes, a->maskable_size));
    return written ? 0 : 1;
}
