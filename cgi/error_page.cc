#include "cgi/error_page.h"

#include "cgi/ostrel_class.h"

namespace ostrel {

std::string EscapeHtml(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char character : text) {
    switch (character) {
      case '&':
        escaped.append("&amp;");
        break;
      case '<':
        escaped.append("&lt;");
        break;
      case '>':
        escaped.append("&gt;");
        break;
      case '"':
        escaped.append("&quot;");
        break;
      default:
        escaped.push_back(character);
    }
  }
  return escaped;
}

// The page replaces whatever was written before it where standard output is
// a file (rewind, page, truncate), and follows it on a pipe, where both
// repositioning steps fail. Each of its thirteen steps is guarded on its own:
// a step that fails is abandoned and the next one runs, because a report of
// a failure must never fail itself.
void OstrelClass::SendErrorPage(std::string message) {
  const auto guarded = [](auto&& step) {
    try {
      step();
    } catch (...) {  // the page swallows its own failures
    }
  };
  guarded([&] { (void)RewindToStart(context_.StdOutHandle); });
  guarded([&] { SendHtml("<H1>Internal Error</H1>"); });
  guarded([&] { SendHtml("<H1>Error in " + EscapeHtml(context_.SCRIPT_NAME) + "</H1>"); });
  guarded([&] { SendHtml("The following internal error has occurred:"); });
  guarded([&] { SendHtml("<PRE>" + EscapeHtml(message) + "</PRE>"); });
  guarded([&] { SendHtml("<I>Please</I> note what you were doing when this problem occurred, "); });
  guarded(
      [&] { SendHtml("so we can identify and correct it. Write down the Web page you were "); });
  guarded([&] { SendHtml("using, any data you may have entered into a form or search box, "); });
  guarded([&] { SendHtml("and anything else that may help us duplicate the problem."); });
  guarded([&] { SendHtml("Then contact the administrator of this service: "); });
  guarded([&] { SendHtml("<A HREF=\"mailto:" + EscapeHtml(context_.AdminAddress) + "\">"); });
  guarded([&] {
    SendHtml("<ADDRESS>&lt;" + EscapeHtml(context_.AdminAddress) + "&gt;</ADDRESS></A>");
  });
  guarded([&] { (void)TruncateAtCurrentPosition(context_.StdOutHandle); });
}

}  // namespace ostrel
