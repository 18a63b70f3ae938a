#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "support/Utf8.h"

namespace {

const std::string kSuccess = "\n ** Removing elements was successful.\n\n";
const std::string kFailure = "\n *** Failed to remove elements from file.\n\n";
const std::string kStringBlockEnd =
    "\n Insure validity of file (formatted properly)."
    "\n You can use Internet Explorer to validate the file.";
const std::string kArgumentsBlockEnd =
    "\n Please insure the validity of arguments. If the problem"
    "\n persists, contact the Varno development team."
    "\n\n Changes will not be saved.";
const char* const kUnchanged = "(unchanged)";

unsigned modeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}
mode_t lmodeOf(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

std::string removing(const std::string& name, int count, const std::string& path = "f.xml") {
    return "\n Removing: " + name + "( " + path + " )\n Number of Elements: " +
           std::to_string(count) + "\n";
}
std::string notFound(const std::string& name) {
    return "\n\n The element " + name + " was not found.";
}

const std::string kSaveFailed =
    "\n\n *** EXCEPTION: An error occured while saving the DOM tree to the file." + kStringBlockEnd;

// What a rewrite must keep of a file besides its name.
struct FileState {
    uid_t owner = 0;
    gid_t group = 0;
    unsigned mode = 0;
    unsigned long links = 0;
    std::map<std::string, std::string> attributes;  // extended attributes, ACLs included

    bool operator==(const FileState& o) const {
        return owner == o.owner && group == o.group && mode == o.mode && links == o.links &&
               attributes == o.attributes;
    }
};
void PrintTo(const FileState& s, std::ostream* os) {
    *os << "owner " << s.owner << " group " << s.group << " mode " << std::oct << s.mode
        << std::dec << " links " << s.links;
    for (const auto& [name, value] : s.attributes) *os << " " << name << "(" << value.size() << ")";
}

FileState stateOf(const std::string& path) {
    FileState s;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return s;
    s = {st.st_uid, st.st_gid, static_cast<unsigned>(st.st_mode & 07777),
         static_cast<unsigned long>(st.st_nlink), {}};
    char names[4096];
    const ssize_t size = ::listxattr(path.c_str(), names, sizeof names);
    for (ssize_t at = 0; at < size; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
        char value[4096];
        const ssize_t got = ::getxattr(path.c_str(), names + at, value, sizeof value);
        s.attributes[names + at] = got < 0 ? "?" : std::string(value, static_cast<size_t>(got));
    }
    return s;
}

// A POSIX ACL as the kernel stores it in system.posix_acl_access / _default.
struct AclEntry {
    std::uint16_t tag;  // 1 owner, 2 named user, 4 group, 8 named group, 0x10 mask, 0x20 other
    std::uint16_t permissions;
    std::uint32_t id = 0xFFFFFFFF;
};
std::string acl(const std::vector<AclEntry>& entries) {
    std::string bytes("\x02\0\0\0", 4);
    for (const auto& e : entries) {
        const std::uint8_t raw[8] = {
            std::uint8_t(e.tag), std::uint8_t(e.tag >> 8), std::uint8_t(e.permissions),
            std::uint8_t(e.permissions >> 8), std::uint8_t(e.id), std::uint8_t(e.id >> 8),
            std::uint8_t(e.id >> 16), std::uint8_t(e.id >> 24)};
        bytes.append(reinterpret_cast<const char*>(raw), 8);
    }
    return bytes;
}

constexpr uid_t kNobody = 65534;
constexpr gid_t kGroup = 4242;  // any group id: the runner is put in it or not

// Run as nobody, a member of groups only.
std::function<void()> asNobody(std::vector<gid_t> groups) {
    return [groups] {
        if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(kNobody) != 0 ||
            ::setuid(kNobody) != 0)
            ::_exit(125);
    };
}
// f.xml given to owner and group with mode, in a directory anyone may write.
std::function<bool(const TempDir&)> shared(uid_t owner, gid_t group, mode_t mode) {
    return [=](const TempDir& dir) {
        const std::string f = dir.file("f.xml");
        return ::chmod(dir.path().c_str(), 0777) == 0 && ::chown(f.c_str(), owner, group) == 0 &&
               ::chmod(f.c_str(), mode) == 0;
    };
}
std::function<bool(const TempDir&)> withAttribute(const char* name, std::string value,
                                                  bool onDirectory = false) {
    return [=](const TempDir& dir) {
        const std::string at = onDirectory ? dir.path() : dir.file("f.xml");
        return ::setxattr(at.c_str(), name, value.data(), value.size(), 0) == 0;
    };
}

struct RemoveCase {
    const char* what;
    std::vector<std::string> args;  // run in the directory that holds f.xml
    std::string input;              // content of f.xml
    std::string out;
    int exitCode;
    std::string after;  // f.xml afterwards, or kUnchanged
    // Links, owners, attributes set up before the run; false when this machine cannot (not
    // root, no extended attributes), and the case is skipped.
    std::function<bool(const TempDir&)> prepare = nullptr;
    std::function<void()> inChild = nullptr;  // who runs it
    uid_t ownerAfter = uid_t(-1);             // the file's owner afterwards; -1: kept
};

const std::string kDoc = "<r>\n  <a>1</a>\n  <c><a/><k/></c>\n</r>\n";
const std::string kDtdDoc =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE r [\n<!ELEMENT r (a|b)*>\n<!ELEMENT a (#PCDATA)>\n<!ELEMENT b EMPTY>\n"
    "<!ATTLIST a k CDATA \"dflt\">\n]>\n"
    "<!-- top -->\n<r><a>x</a><b/></r>\n<?done?>\n";

const std::string kKeepDoc =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<!DOCTYPE r [\r\n"
    "<!ELEMENT r ANY><!ELEMENT b ANY><!ELEMENT c ANY>\r\n"
    "<!ATTLIST r z CDATA #IMPLIED y CDATA #IMPLIED id CDATA #IMPLIED>\r\n"
    "<!ATTLIST b id CDATA #IMPLIED>\r\n<!ENTITY e \"x&#38;#62;y\">\r\n]>\r\n<!-- top -->\r\n"
    "<r z='1'  y = \"&lt;&#65;\" id=\"7\"\r\n   ><c><![CDATA[<b/>]]>&e;&#233;</c>\r\n"
    "  <b id=\"1\">\r\n    <b/>\r\n  </b>\r\n  <c/><b\r\n   id=\"2\"/> <?p <b/>?>\r\n"
    "</r><!--end-->";

const std::string kDryRunDoc = "<r id=\"1\">\n  <a id=\"2\"><b id=\"3\"/></a>\n  <c><a/></c>\n</r>\n";
const std::string kDryRunOut =
    "\n Removing: a( f.xml )\n    f.xml:2:13: element <a>\n    f.xml:3:10: element <a>"
    "\n Number of Elements: 2\n"
    "\n Removing: @id( f.xml )\n    f.xml:1:11: attribute id=\"1\"\n Number of Elements: 1\n" +
    notFound("q") + "\n\n Dry run (-n): nothing was written, the file was not changed." + kSuccess;

std::string keepRefused(const std::string& what) {
    return "\n\n *** FAILURE: -k cannot remove " + what +
           ".\n\n *** EXITING: removing process is stopped";
}

std::string rootRefused(const std::string& name, const std::string& at) {
    return "\n\n *** FAILURE: cannot remove the element <" + name + "> at " + at +
           ": it is the document element, and the file would not be XML without it; nothing was "
           "written.\n\n *** EXITING: removing process is stopped";
}

const RemoveCase kCases[] = {
    {"one name found twice (one nested), one not found",
     {"-r", "f.xml", "a", "b"}, kDoc,
     removing("a", 2) + notFound("b") + kSuccess, 1,
     "<r>\r\n  \r\n  <c><k/></c>\r\n</r>\r\n"},
    {"no names: nothing read or written",
     {"-r", "f.xml"}, kDoc,
     "No Elements are specified to be removed." + kSuccess, 1, kUnchanged},
    {"no name occurs: file not written",
     {"-r", "f.xml", "x", "y"}, kDoc,
     notFound("x") + notFound("y") + "\n\n The file has not changed." + kSuccess, 1, kUnchanged},
    {"option word in any case", {"-R", "f.xml", "k"}, kDoc,
     removing("k", 1) + kSuccess, 1, "<r>\r\n  <a>1</a>\r\n  <c><a/></c>\r\n</r>\r\n"},
    {"names are case-sensitive", {"-r", "f.xml", "A"}, kDoc,
     notFound("A") + "\n\n The file has not changed." + kSuccess, 1, kUnchanged},
    {"a match inside a match is counted and goes with it",
     {"-r", "f.xml", "a"}, "<r><a><a><a/></a></a><a/></r>",
     removing("a", 4) + kSuccess, 1, "<r/>\r\n"},
    {"the same name twice", {"-r", "f.xml", "k", "k"}, kDoc,
     removing("k", 1) + notFound("k") + kSuccess, 1,
     "<r>\r\n  <a>1</a>\r\n  <c><a/></c>\r\n</r>\r\n"},
    {"names in command-line order; a name gone with an earlier one is not found",
     {"-r", "f.xml", "c", "k", "a"}, kDoc,
     removing("c", 1) + notFound("k") + removing("a", 1) + kSuccess, 1,
     "<r>\r\n  \r\n  \r\n</r>\r\n"},
    {"words after the file are names, even options", {"-r", "f.xml", "-c", "-i"}, kDoc,
     notFound("-c") + notFound("-i") + "\n\n The file has not changed." + kSuccess, 1,
     kUnchanged},
    {"star takes the document element too: refused, the file would not be XML",
     {"-r", "f.xml", "*"}, "<?pi x?>\n<!--c-->\n<r><a/><b><c/></b></r>\n<!--d-->",
     removing("*", 4) + rootRefused("r", "f.xml:3:4") + kFailure, 2, kUnchanged},
    {"a star below the document element removes every element under it; what stands beside stays",
     {"-r", "f.xml", "/r/*"}, "<?pi x?>\n<!--c-->\n<r><a/><b><c/></b></r>\n<!--d-->",
     removing("/r/*", 2) + kSuccess, 1, "<?pi x?>\r\n<!--c-->\r\n<r/>\r\n<!--d-->\r\n"},
    {"document type and top-level nodes are written back, defaults are left to the DTD",
     {"-r", "f.xml", "b"}, kDtdDoc,
     removing("b", 1) + kSuccess, 1,
     "<!DOCTYPE r[\n<!ELEMENT r (a|b)*>\n<!ELEMENT a (#PCDATA)>\n<!ELEMENT b EMPTY>\n"
     "<!ATTLIST a k CDATA \"dflt\">\n]>\r\n<!-- top -->\r\n<r><a>x</a></r>\r\n"
     "<?done?>\r\n"},
    {"removing the document element is refused, in a dry run too",
     {"-r", "-n", "f.xml", "r"}, kDtdDoc,
     "\n Removing: r( f.xml )\n    f.xml:9:4: element <r>\n Number of Elements: 1\n" +
         rootRefused("r", "f.xml:9:4") + kFailure,
     2,
     kUnchanged},
    {"escapes and character references survive",
     {"-r", "f.xml", "x"},
     "<r a=\"&lt;&amp;&quot;&#9;&#13;\">&lt;&amp;&gt;&#13;'\"<x/></r>",
     removing("x", 1) + kSuccess, 1,
     "<r a=\"&lt;&amp;&quot;&#x9;&#xD;\">&lt;&amp;&gt;&#xD;&apos;&quot;</r>\r\n"},
    {"texts built from references on both sides of a removal stay whole",
     {"-r", "f.xml", "x"},
     "<r>a &amp; b&#233;<x>in &lt;</x>&#x10400;c &lt; d<x/>e</r>",
     removing("x", 2) + kSuccess, 1,
     "<r>a &amp; b\xC3\xA9\xF0\x90\x90\x80" "c &lt; de</r>\r\n"},
    {"attributes come out in name order; the texts on both sides of a removal stay two",
     {"-r", "f.xml", "y"}, "<r b=\"2\" a=\"1\">x&#13;<y/>&#10;z<y>in</y></r>",
     removing("y", 2) + kSuccess, 1, "<r a=\"1\" b=\"2\">x&#xD;\r\nz</r>\r\n"},
    {"a Latin-1 file is written as UTF-8 without declaration",
     {"-r", "f.xml", "x"},
     "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r a=\"\xE9\">\xFC<x/></r>",
     removing("x", 1) + kSuccess, 1, "<r a=\"\xC3\xA9\">\xC3\xBC</r>\r\n"},
    {"an attribute selector removes the attribute wherever it stands",
     {"-r", "f.xml", "@id"}, "<r id=\"1\"><a id=\"2\" k=\"x\"><b id=\"3\"/></a></r>",
     removing("@id", 3) + kSuccess, 1, "<r><a k=\"x\"><b/></a></r>\r\n"},
    {"a path selects a child of a parent at any depth; a leading slash anchors it",
     {"-r", "f.xml", "c/a", "/r/a"}, kDoc,
     removing("c/a", 1) + removing("/r/a", 1) + kSuccess, 1,
     "<r>\r\n  \r\n  <c><k/></c>\r\n</r>\r\n"},
    {"a path ending in an attribute, and a star step",
     {"-r", "f.xml", "a/@k", "/*/*/@id"}, "<r id=\"0\"><a k=\"1\" id=\"2\"><b k=\"3\"/></a></r>",
     removing("a/@k", 1) + removing("/*/*/@id", 1) + kSuccess, 1,
     "<r id=\"0\"><a><b k=\"3\"/></a></r>\r\n"},
    {"an attribute the DTD supplies by default is not in the file and is not selected",
     {"-r", "f.xml", "@k"}, kDtdDoc,
     notFound("@k") + "\n\n The file has not changed." + kSuccess, 1, kUnchanged},
    {"a namespace declaration is never removed: its prefix may still be in use",
     {"-r", "f.xml", "@*", "@xmlns:p"}, "<r xmlns:p=\"u\" a=\"1\" xmlns=\"d\"><p:a p:x=\"2\"/></r>",
     removing("@*", 2) + notFound("@xmlns:p") + kSuccess, 1,
     "<r xmlns=\"d\" xmlns:p=\"u\"><p:a/></r>\r\n"},
    {"nor with -k", {"-r", "-k", "f.xml", "@*"},
     "<r xmlns:p=\"u\" a=\"1\" xmlns=\"d\"><p:a p:x=\"2\"/></r>", removing("@*", 2) + kSuccess, 1,
     "<r xmlns:p=\"u\" xmlns=\"d\"><p:a/></r>"},
    {"a dry run shows every match where it stands and writes nothing",
     {"-r", "-N", "f.xml", "a", "@id", "q"}, kDryRunDoc, kDryRunOut, 1, kUnchanged},
    {"a dry run that matches nothing says so as a removal does",
     {"-r", "-n", "f.xml", "x"}, kDoc,
     notFound("x") + "\n\n The file has not changed." + kSuccess, 1, kUnchanged},
    {"-n with nothing after it is the file's name", {"-r", "-n"}, kDoc,
     "\n\n *** INVALID FILE: The file -n doesn't exist.\n Please insure the file exist and try "
     "again." + kFailure, 2, kUnchanged},
    {"a malformed selector fails before the file is read",
     {"-r", "f.xml", "a", "b//c"}, kDoc,
     "\n\n *** INVALID SELECTOR: b//c is not well formed: '//' is not supported (a path "
     "without a leading / matches at any depth).\n Please insure each selector is a name, "
     "@name, or a path such as a/b, /a/b or a/@name." + kFailure, 2, kUnchanged},
    {"a non-ASCII name given as UTF-8",
     {"-r", "f.xml", "\xC3\xA9l\xC3\xA9ment"},
     "<r><\xC3\xA9l\xC3\xA9ment>x</\xC3\xA9l\xC3\xA9ment><e/></r>",
     removing("\xC3\xA9l\xC3\xA9ment", 1) + kSuccess, 1, "<r><e/></r>\r\n"},
    {"a prefixed name matches as written",
     {"-r", "f.xml", "p:a", "a"}, "<r xmlns:p=\"urn:p\"><p:a/><a/></r>",
     removing("p:a", 1) + removing("a", 1) + kSuccess, 1, "<r xmlns:p=\"urn:p\"/>\r\n"},
    {"an element inside an entity reference cannot be removed",
     {"-r", "f.xml", "b"},
     "<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT b ANY><!ENTITY e \"<b>x</b>\">]><r>&e;<b/></r>",
     removing("b", 2) + "\n\n *** UNKNOWN EXCEPTION: " + kArgumentsBlockEnd + kFailure, 2,
     kUnchanged},
    // -k: the file's own bytes, less what goes.
    {"-k keeps declaration, DOCTYPE, comments, CDATA, references, quotes, order and CR LF",
     {"-r", "-k", "f.xml", "b", "@id"}, kKeepDoc,
     removing("b", 3) + removing("@id", 1) + kSuccess, 1,
     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<!DOCTYPE r [\r\n"
     "<!ELEMENT r ANY><!ELEMENT b ANY><!ELEMENT c ANY>\r\n"
     "<!ATTLIST r z CDATA #IMPLIED y CDATA #IMPLIED id CDATA #IMPLIED>\r\n"
     "<!ATTLIST b id CDATA #IMPLIED>\r\n<!ENTITY e \"x&#38;#62;y\">\r\n]>\r\n<!-- top -->\r\n"
     "<r z='1'  y = \"&lt;&#65;\"\r\n   ><c><![CDATA[<b/>]]>&e;&#233;</c>\r\n"
     "  <c/> <?p <b/>?>\r\n</r><!--end-->"},
    {"-k takes a removed element's indentation only when it stands alone on its line(s)",
     {"-r", "-K", "f.xml", "b"},
     "<r>\n  <b/>\n  <b/> <b/>\n  <c>\n    <b>\n      <b/>\n    </b>\n  </c>\n  <c/><b/>\n"
     "  <b/><c/>\n  x <b/>\n</r>",
     removing("b", 8) + kSuccess, 1, "<r>\n  <c>\n  </c>\n  <c/>\n  <c/>\n  x \n</r>"},
    {"-k keeps the line of a removed element whose text runs on past the next removed one",
     {"-r", "-k", "f.xml", "a"}, "<r>\n\t<a> </a>\r\n  \n\t<a> </a>\r>\n  <a/>\n  <a/>\n</r>",
     removing("a", 4) + kSuccess, 1, "<r>\n\t\r\n  \n\t\r>\n  \n  \n</r>"},
    {"-k refuses to join a CR and an LF that stand around a removed element in a text",
     {"-r", "-k", "f.xml", "a"}, "<r>x\r<a/>\ny</r>",
     removing("a", 1) + keepRefused("an element that stands between a CR and an LF in a text: "
                                    "they would read as one line end, and the text would change "
                                    "(remove it without -k); nothing was written") +
         kFailure,
     2, kUnchanged},
    {"-k runs the selectors in order, as a rewrite does",
     {"-r", "-k", "f.xml", "c", "k", "a"}, kDoc,
     removing("c", 1) + notFound("k") + removing("a", 1) + kSuccess, 1, "<r>\n</r>\n"},
    {"-k keeps an ISO-8859-1 file in its encoding",
     {"-r", "-k", "f.xml", "x", "@b"},
     "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r a=\"\xE9\" b='\xFC'>\xFC<x>\xE9</x></r>",
     removing("x", 1) + removing("@b", 1) + kSuccess, 1,
     "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r a=\"\xE9\">\xFC</r>"},
    {"-k keeps a UTF-16 file in UTF-16, byte order mark included",
     {"-r", "-k", "f.xml", "b", "@x"},
     utf16le(decodeUtf8("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<r a=\"\xC3\xA9\">\r\n"
             "  <b x=\"1\">\xF0\x9F\x98\x80</b>\r\n  <c x=\"2\" d=\"3\"/>\r\n</r>\r\n")),
     removing("b", 1) + removing("@x", 1) + kSuccess, 1,
     utf16le(decodeUtf8("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<r a=\"\xC3\xA9\">\r\n"
             "  <c d=\"3\"/>\r\n</r>\r\n"))},
    {"-k dry run: the same lines as without -k, nothing written",
     {"-r", "-n", "-k", "f.xml", "a", "@id", "q"}, kDryRunDoc, kDryRunOut, 1, kUnchanged},
    {"-k dry run counts an emoji as one column",
     {"-r", "-k", "-n", "f.xml", "x"}, "<r a=\"\xF0\x9F\x98\x80\">\r\n \xF0\x9F\x98\x80<x/></r>",
     "\n Removing: x( f.xml )\n    f.xml:2:7: element <x>\n Number of Elements: 1\n"
     "\n\n Dry run (-n): nothing was written, the file was not changed." + kSuccess,
     1, kUnchanged},
    {"-k cannot cut out an element that an entity's expansion holds",
     {"-r", "-k", "f.xml", "b"},
     "<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT b ANY><!ENTITY e \"<b>x</b>\">]><r>&e;<b/></r>",
     removing("b", 2) + keepRefused("the element <b> at f.xml:1:73: it comes from the entity "
                                    "&e;, not from the file's own bytes") + kFailure,
     2, kUnchanged},
    {"-k cannot cut out an attribute that an entity's expansion holds",
     {"-r", "-k", "f.xml", "@id"},
     "<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT b ANY><!ATTLIST b id CDATA #IMPLIED>"
     "<!ENTITY e \"<b id='1'/>\">]><r>&e;</r>",
     removing("@id", 1) + keepRefused("the attribute id=\"1\" at f.xml:1:106: it comes from the "
                                      "entity &e;, not from the file's own bytes") + kFailure,
     2, kUnchanged},
    {"-k does not remove the document element",
     {"-r", "-k", "f.xml", "r"}, kDtdDoc,
     removing("r", 1) + keepRefused("the element <r> at f.xml:9:4: it is the document element, "
                                    "and the file would not be XML without it") + kFailure,
     2, kUnchanged},
    {"-k leaves a file where nothing matched untouched, DTD defaults included",
     {"-r", "-k", "f.xml", "@k"}, kDtdDoc,
     notFound("@k") + "\n\n The file has not changed." + kSuccess, 1, kUnchanged},
    {"a file that does not parse is left alone",
     {"-r", "f.xml", "a"}, "<r><a></r>",
     "\nFatal Error at file \"\", line 1, column 9\n   Message: expected end of tag 'a'"
     "\n\n *** EXCEPTION: The file is not valid. Please insure that the file is \n valid "
     "according to its schema." + kStringBlockEnd + kFailure,
     2, kUnchanged},
    {"missing file", {"-r", "missing.xml", "a"}, kDoc,
     "\n\n *** INVALID FILE: The file missing.xml doesn't exist."
     "\n Please insure the file exist and try again." + kFailure,
     2, kUnchanged},
    {"a directory is not a file", {"-r", ".", "a"}, kDoc,
     "\n\n *** INVALID FILE: The file . doesn't exist."
     "\n Please insure the file exist and try again." + kFailure,
     2, kUnchanged},
    {"root keeps another user's owner and group", {"-r", "f.xml", "k"}, kDoc,
     removing("k", 1) + kSuccess, 1, "<r>\r\n  <a>1</a>\r\n  <c><a/></c>\r\n</r>\r\n",
     shared(4321, 4322, 0640)},
    {"a file the kernel does not let the runner write is read-only, before it is read",
     {"-r", "f.xml", "a"}, "<r><a></r>",
     "\n\n *** FILE ACCESS: The file f.xml is set to be read-only."
     "\n Please insure that the file has write access." + kFailure,
     2, kUnchanged, shared(0, 0, 0644), asNobody({})},
    {"a group member's save keeps group and mode; the runner becomes the owner",
     {"-r", "f.xml", "k"}, kDoc, removing("k", 1) + kSuccess, 1,
     "<r>\r\n  <a>1</a>\r\n  <c><a/></c>\r\n</r>\r\n", shared(0, kGroup, 02664),
     asNobody({kGroup}), kNobody},
    {"a group the runner is not in cannot be kept: the save fails", {"-r", "f.xml", "k"}, kDoc,
     removing("k", 1) + kSaveFailed + kFailure, 2, kUnchanged, shared(0, kGroup, 0666),
     asNobody({})},
    {"a file the runner may write but not read fails as it loads", {"-r", "f.xml", "k"}, kDoc,
     "\n\n *** EXCEPTION: Error occured while parsing the file." + kStringBlockEnd + kFailure, 2,
     kUnchanged, shared(0, 0, 0622), asNobody({})},
    {"extended attributes and an ACL are kept", {"-r", "f.xml", "k"}, kDoc,
     removing("k", 1) + kSuccess, 1, "<r>\r\n  <a>1</a>\r\n  <c><a/></c>\r\n</r>\r\n",
     [](const TempDir& dir) {
         return withAttribute("user.origin", std::string("made by\0hand", 12))(dir) &&
                withAttribute("system.posix_acl_access",
                              acl({{1, 6}, {2, 4, 1234}, {4, 4}, {8, 6, 77}, {0x10, 6}, {0x20, 0}}))(dir);
     }},
    {"a directory's default ACL is not given to the rewritten file", {"-r", "f.xml", "k"}, kDoc,
     removing("k", 1) + kSuccess, 1, "<r>\r\n  <a>1</a>\r\n  <c><a/></c>\r\n</r>\r\n",
     withAttribute("system.posix_acl_default",
                   acl({{1, 7}, {2, 7, 1234}, {4, 5}, {0x10, 7}, {0x20, 5}}), true)},
    {"a file with a second name (hard link) is refused before it is read", {"-r", "f.xml", "a"},
     "<r><a></r>",
     "\n\n *** FILE ACCESS: The file f.xml has 2 hard links; rewriting it would split them."
     "\n Please insure that the file has a single link." + kFailure,
     2, kUnchanged,
     [](const TempDir& dir) {
         return ::link(dir.file("f.xml").c_str(), dir.file("g.xml").c_str()) == 0;
     }},
};

TEST(RemoveCommandTest, EndToEnd) {
    for (const auto& c : kCases) {
        TempDir dir;
        const std::string path = dir.write("f.xml", c.input);
        if (c.prepare && !c.prepare(dir)) {
            std::cout << "[ SKIPPED  ] cannot be set up here: " << c.what << "\n";
            continue;
        }
        const std::vector<std::string> files = dir.list();
        FileState state = stateOf(path);
        RunOptions options;
        options.cwd = dir.path();
        options.inChild = c.inChild;
        const RunResult r = runQuennel(c.args, options);
        EXPECT_EQ(r.out, c.out) << c.what;
        EXPECT_EQ(r.err, "") << c.what;
        EXPECT_EQ(r.exitCode, c.exitCode) << c.what;
        EXPECT_EQ(readFile(path), c.after == kUnchanged ? c.input : c.after) << c.what;
        if (c.ownerAfter != uid_t(-1)) state.owner = c.ownerAfter;
        EXPECT_EQ(stateOf(path), state) << c.what;
        EXPECT_EQ(dir.list(), files) << c.what;
    }
}

TEST(RemoveCommandTest, ReadOnlyFileIsRefused) {
    TempDir dir;
    const std::string path = dir.write("f.xml", kDoc);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const RunResult r = runQuennel({"-r", path, "a"});
    EXPECT_EQ(r.out, "\n\n *** FILE ACCESS: The file " + path + " is set to be read-only." +
                         "\n Please insure that the file has write access." + kFailure);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(readFile(path), kDoc);
    EXPECT_EQ(modeOf(path), 0444u);
}

TEST(RemoveCommandTest, FailedSaveLeavesTheFileAsItWas) {
    TempDir dir;
    std::string input = "<r><x/>";
    for (int i = 0; i < 200; ++i) input += "\n<keep n=\"" + std::to_string(i) + "\"/>";
    input += "</r>";
    const std::string path = dir.write("f.xml", input);
    RunOptions options;
    options.cwd = dir.path();
    options.inChild = [] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{512, 512};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };
    const RunResult r = runQuennel({"-r", "f.xml", "x"}, options);
    EXPECT_EQ(r.out, removing("x", 1) +
                         "\n\n *** EXCEPTION: An error occured while saving the DOM tree to the file." +
                         kStringBlockEnd + kFailure);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(readFile(path), input);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"f.xml"});
}

TEST(RemoveCommandTest, SaveKeepsModeAndLinks) {
    TempDir dir;
    const std::string real = dir.write("data/f.xml", kDoc);
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("data/f.xml", dir.file("link.xml").c_str()), 0);
    RunOptions options;
    options.cwd = dir.path();
    const RunResult r = runQuennel({"-r", "link.xml", "k"}, options);
    EXPECT_EQ(r.out, removing("k", 1, "link.xml") + kSuccess);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(readFile(real), "<r>\r\n  <a>1</a>\r\n  <c><a/></c>\r\n</r>\r\n");
    EXPECT_TRUE(S_ISLNK(lmodeOf(dir.file("link.xml"))));
    EXPECT_EQ(modeOf(real), 0640u);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"data", "link.xml"}));
}

TEST(RemoveCommandTest, LargeFileIsWrittenWhole) {
    TempDir dir;
    std::string input = "<r>", expected = "<r>";
    for (int i = 0; i < 30000; ++i) {
        const std::string keep = "<k n=\"" + std::to_string(i) + "\">t&amp;" + std::to_string(i) + "</k>";
        input += "\n" + keep + "<x/>";
        expected += "\r\n" + keep;
    }
    input += "</r>";
    expected += "</r>\r\n";
    const std::string path = dir.write("f.xml", input);
    RunOptions options;
    options.cwd = dir.path();
    const RunResult r = runQuennel({"-r", "f.xml", "x"}, options);
    EXPECT_EQ(r.out, removing("x", 30000) + kSuccess);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(readFile(path), expected);
}

TEST(RemoveCommandTest, VeryDeepDocument) {
    constexpr int depth = 100000;
    TempDir dir;
    std::string input, expected;
    for (int i = 0; i < depth; ++i) input += "<d>";
    input += "<x/>";
    for (int i = 0; i < depth; ++i) input += "</d>";
    for (int i = 1; i < depth; ++i) expected += "<d>";
    expected += "<d/>";
    for (int i = 1; i < depth; ++i) expected += "</d>";
    expected += "\r\n";
    const std::string path = dir.write("f.xml", input);
    RunOptions options;
    options.cwd = dir.path();
    options.timeoutSeconds = 900;  // the library's parse is quadratic in depth with namespaces on
    const RunResult r = runQuennel({"-r", "f.xml", "x"}, options);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.out, removing("x", 1) + kSuccess);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(readFile(path) == expected) << "deep document written differently";
}

}  // namespace
