// One decoded name/value pair of the request's form input.
#ifndef OSTREL_CGI_FORM_PAIR_H_
#define OSTREL_CGI_FORM_PAIR_H_

#include <string>

namespace ostrel {

struct FormPair {
  std::string Name;
  std::string Value;
};

}  // namespace ostrel

#endif  // OSTREL_CGI_FORM_PAIR_H_
