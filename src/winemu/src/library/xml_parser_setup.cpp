// xml_parser_setup.cpp: libxml2's global state set up once, when winemu loads.
//
// Left to the first parse, xmlInitParser would run on a caller's thread with the interpreter lock
// released, and it reads the environment (getenv) while another thread may be changing it
// (os.environ). winemu loads during the extension's import, with the lock held, or at the start of
// the single-threaded runner: the setup is done there, before any thread can parse.
#include <libxml/parser.h>

namespace winemu {
namespace {

const bool xml_parser_ready = (xmlInitParser(), true);

}  // namespace
}  // namespace winemu
