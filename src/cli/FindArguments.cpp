#include "cli/FindArguments.h"

#include "finder/SearchFilters.h"

#include <cstring>
#include <optional>

namespace {

bool setFormat(FindArguments& arguments, const QByteArray& name)
{
    if (name == "text")
        arguments.format = FindArguments::Format::Text;
    else if (name == "json")
        arguments.format = FindArguments::Format::Json;
    else if (name == "csv")
        arguments.format = FindArguments::Format::Csv;
    else
        return false;
    return true;
}

// The value of "--name=VALUE" or of "--name VALUE" (the next argument, taken
// as it is even when it begins with "-"); nullopt when argument is neither.
// *missing is set when "--name" is last.
std::optional<QByteArray> valueOf(const QByteArray& argument, const char* name, int argc,
    const char* const* argv, int* i, bool* missing)
{
    const QByteArray option(name);
    if (argument.startsWith(option + '='))
        return argument.mid(option.size() + 1);
    if (argument != option)
        return std::nullopt;
    if (*i + 1 >= argc) {
        *missing = true;
        return QByteArray();
    }
    return QByteArray(argv[++*i]);
}

} // namespace

FindArguments FindArguments::parse(int argc, const char* const* argv)
{
    FindArguments arguments;
    bool options = true;
    bool missing = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (!options || argument == "-" || !argument.startsWith('-')) {
            arguments.folders.append(argument);
            continue;
        }
        if (argument == "--") {
            options = false;
        } else if (argument == "--recursive" || argument == "-r") {
            arguments.recursive = true;
        } else if (argument == "--any-name") {
            arguments.anyName = true;
        } else if (argument == "--no-cache") {
            arguments.noCache = true;
        } else if (argument == "--similar") {
            arguments.similar = true;
        } else if (argument == "--show-ignored") {
            arguments.showIgnored = true;
        } else if (argument == "--forget-ignored") {
            arguments.forgetIgnored = true;
        } else if (auto pattern = valueOf(argument, "--exclude", argc, argv, &i, &missing)) {
            if (missing || pattern->isEmpty()) {
                arguments.error
                    = QStringLiteral("--exclude needs a pattern, such as '**/cache/**'");
                return arguments;
            }
            arguments.excludes.append(*pattern);
        } else if (auto folder = valueOf(argument, "--protect", argc, argv, &i, &missing)) {
            if (missing || folder->isEmpty()) {
                arguments.error = QStringLiteral("--protect needs a folder");
                return arguments;
            }
            arguments.protectedFolders.append(*folder);
        } else if (auto size = valueOf(argument, "--min-size", argc, argv, &i, &missing)) {
            const std::optional<std::int64_t> bytes = finder::parseSize(*size);
            if (missing || !bytes) {
                arguments.error
                    = QStringLiteral("--min-size needs a size in bytes, or with K, M or "
                                     "G (1024, 1024² or 1024³ bytes), such as 200K; "
                                     "not '%1'")
                          .arg(QString::fromLocal8Bit(*size));
                return arguments;
            }
            arguments.minimumSize = *bytes;
        } else if (argument == "--help" || argument == "-h") {
            arguments.help = true;
        } else if (argument == "--version") {
            arguments.version = true;
        } else if (argument.startsWith("--format=")) {
            if (!setFormat(arguments, argument.mid(9))) {
                arguments.error = QStringLiteral("unknown format '%1' (text, json or csv)")
                                      .arg(QString::fromLocal8Bit(argument.mid(9)));
                return arguments;
            }
        } else if (argument == "--format") {
            if (i + 1 >= argc || !setFormat(arguments, QByteArray(argv[i + 1]))) {
                arguments.error = QStringLiteral("--format needs text, json or csv");
                return arguments;
            }
            ++i;
        } else {
            arguments.error
                = QStringLiteral("unknown option '%1' (a folder whose name begins with '-' "
                                 "goes after '--')")
                      .arg(QString::fromLocal8Bit(argument));
            return arguments;
        }
    }
    if (arguments.folders.isEmpty() && !arguments.help && !arguments.version
        && !arguments.forgetIgnored)
        arguments.error = QStringLiteral("no folder given");
    return arguments;
}

QString findUsage()
{
    return QStringLiteral(
        R"(Usage: corvane-find [--recursive] [--any-name] [--similar]
                    [--format=text|json|csv] [--no-cache]
                    [--exclude=PATTERN]... [--min-size=SIZE]
                    [--protect=FOLDER]... [--show-ignored] [--forget-ignored]
                    FOLDER...

Finds every group of pictures whose pixels are identical among the BMP, JPEG,
GIF, PNG, TIFF, JPEG 2000, WebP, HEIF and AVIF files of the folders, whatever
their sizes and types. Identical means the same width, height and number of
frames, and every red, green, blue and alpha value equal at the picture's full
depth (a 16-bit picture equals an 8-bit one only when each of its samples is
exactly the 8-bit value times 257). Pictures are compared as a viewer shows
them: the orientation of a JPEG (EXIF) or TIFF is applied, as HEIF's rotation
and mirroring are; a PNG's or WebP's EXIF orientation is not. No other
metadata is compared.

Which files are examined: those whose names end in a picture suffix, in any
case: .bmp .dib .jpg .jpeg .jpe .jfif .gif .png .tif .tiff .jp2 .j2k .j2c .jpc
.jpf .jpx .webp .heic .heif .hif .avif. The suffix only makes a file a
candidate; its type is told from its content. Other files (IMG_0001,
photo.dat) are not examined but counted in the summary; --any-name examines
them too.

  -r, --recursive   also search every subfolder (links and hidden folders are
                    never entered; hidden files and links are never read)
  --any-name        examine every regular file by its content, whatever its
                    name; files that hold no picture are then counted, not
                    listed as unreadable
  --similar         also find the same photo saved differently (re-saved,
                    resized, in another type, a few pixels changed): such
                    groups follow the identical ones, best copy first (or the
                    reason there is none), every other file with its measured
                    difference from it (SSIM of the brightness; mean and
                    largest difference of a colour channel in 8-bit levels;
                    the worst region against its limit; the tone; the size
                    compared at); then edited copies: a photo and copies of
                    it changed in one region (a watermark, a patch)
  --format=text     one group per paragraph, one path a line (the default)
  --format=json     one JSON document: folders, files_examined,
                    files_not_examined (names without a picture suffix, and
                    files below --min-size), files_not_pictures (with
                    --any-name), groups_ignored, groups (kind, width, height,
                    frames, files with path, size, type, and protected or
                    ignored when true) and unreadable files with their size,
                    type and reason
  --format=csv      one row per file: group,path,path_bytes,size,type,width,
                    height,frames,reason,kind,ssim,mean,max,compared_width,
                    compared_height,identical_group,best_copy,best_because,
                    local,local_limit,local_x,local_y,local_width,
                    local_height,tone_red,tone_green,tone_blue,framing_shift,
                    protected,ignored (unreadable files have no group)
  --no-cache        neither read nor write the fingerprint cache
  --exclude=PATTERN leave out the files and folders that PATTERN matches,
                    below each searched folder (may be given again): '*'
                    matches within one name, '?' one character, '**' any
                    number of folders; a pattern without '/' matches a name
                    at any depth. An excluded folder is not even read.
                    Examples: '**/Thumbnails/**', '**/cache/**', '*.tmp'
  --min-size=SIZE   leave out files smaller than SIZE bytes (K, M and G
                    mean 1024, 1024^2 and 1024^3: 200K); they are counted
                    as not examined
  --protect=FOLDER  files under FOLDER (by any of their names, when a file
                    has several) are listed as protected: "protected": true
                    in JSON, 1 in CSV's protected column, '(protected)' after
                    the path in text. The review window never marks them.
  --show-ignored    also report the groups judged "not duplicates" in the
                    review window, their judged files flagged as ignored
  --forget-ignored  clear the list of groups judged "not duplicates" (no
                    folder needed)
  -h, --help        show this text
  --version         show the version

Names that are not valid UTF-8 are reported without loss:
  text  a path holding such bytes, a control character such as a newline, a
        bidirectional or other invisible format character (such as U+202E),
        a backslash or a quote, or a blank at either end, is written as
        $'...' with \xHH, \n, \t, \\ and \' escapes (the quoting of bash,
        which reads it back as the same bytes; invisible characters are
        escaped byte by byte); every other path is written as it is. A line
        that begins with $' is always such a path.
  json  "path" holds the name as text (invalid bytes shown as U+FFFD) and
        "path_bytes" the exact bytes in base64; "path_bytes" is present only
        for such names.
  csv   the same two columns: path_bytes is empty unless the name is not UTF-8.

In text and CSV form, a summary line on standard error counts the files
examined, the groups, the unreadable files and the files not examined; in
text form the files that cannot be read are listed there too, with their
reason. A progress line is shown on standard error when it is a
terminal. The fingerprint cache lives in $XDG_CACHE_HOME/Corvane (by default
~/.cache/Corvane); a second search of unchanged files decodes nothing.

Groups judged "not duplicates" in the review window are left out of the
report. They are kept in $XDG_DATA_HOME/Corvane/ignored-groups.json (by
default ~/.local/share/Corvane), each file known by its size and the SHA-256
of its bytes, so that a renamed or moved file stays judged. When a file not
judged joins such a group, the group is reported again, its judged files
flagged as ignored.

Exit status: 0 when the search ran (whether or not it found duplicates),
2 for a wrong command line or a folder that cannot be read, 1 when the
report could not be written.
)");
}
