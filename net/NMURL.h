#pragma once

#include <functional>
#include <string>

namespace net {

// Turns a text into the form-URL encoding of a request body: letters and digits
// stay, a blank becomes '+', every other byte becomes '%' and two upper-case hex
// digits.
class TNMURL {
public:
    using TOnErrorEvent = std::function<void(TNMURL& sender, const std::string& operation,
                                             const std::string& errMsg)>;

    std::string InputString;
    TOnErrorEvent OnError;

    // Never raises: a failure is reported through OnError and yields Data unchanged.
    // Texts of any length are encoded whole.
    std::string EncodeText(const std::string& data);
    std::string Encode() { return EncodeText(InputString); }
};

}  // namespace net
