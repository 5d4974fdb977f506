// The internal-error page as a client must receive it, typed out again from
// the page's fixed texts so that a slip in the program's copy shows.
#ifndef OSTREL_TESTS_SUPPORT_EXPECTED_PAGE_H_
#define OSTREL_TESTS_SUPPORT_EXPECTED_PAGE_H_

#include <string>

namespace ostrel::testing {

inline const std::string kExpectedHtmlHeader =
    "HTTP/1.0 200 OK\r\nContent-type: text/html\r\nCache-Control: no-cache\r\n\r\n";

// The eleven texts, values inserted as given (the caller escapes them).
inline std::string ExpectedPageBody(const std::string& script_name, const std::string& message,
                                    const std::string& admin_address) {
  return "<H1>Internal Error</H1>"
         "<H1>Error in " +
         script_name +
         "</H1>"
         "The following internal error has occurred:"
         "<PRE>" +
         message +
         "</PRE>"
         "<I>Please</I> note what you were doing when this problem occurred, "
         "so we can identify and correct it. Write down the Web page you were "
         "using, any data you may have entered into a form or search box, "
         "and anything else that may help us duplicate the problem."
         "Then contact the administrator of this service: "
         "<A HREF=\"mailto:" +
         admin_address +
         "\">"
         "<ADDRESS>&lt;" +
         admin_address + "&gt;</ADDRESS></A>";
}

inline std::string ExpectedErrorResponse(const std::string& script_name, const std::string& message,
                                         const std::string& admin_address = OSTREL_ADMIN_ADDRESS) {
  return kExpectedHtmlHeader + ExpectedPageBody(script_name, message, admin_address);
}

}  // namespace ostrel::testing

#endif  // OSTREL_TESTS_SUPPORT_EXPECTED_PAGE_H_
