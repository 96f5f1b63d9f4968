#pragma once

#include <string>
#include <string_view>

namespace app {

// Decodes HTML character references in GB18030 text (what is left of a page
// once its mark-up is stripped) as a browser decodes them in page text:
//   - &#N; and &#xH; (the ";" may be missing); &#0;, values beyond U+10FFFF
//     (however many digits) and surrogates give U+FFFD; 128..159 are read as
//     the windows-1252 characters browsers show for them;
//   - the named references of HTML, the longest name that matches, the old
//     ones (&amp, &lt, &copy, ...) also without ";";
//   - anything else ("&", "&#", "&foo;") stays as it is.
// A no-break space (&nbsp;, &#160;) becomes a plain space, as it reads, so a
// nickname typed with a space finds it. The decoded characters are written in
// GB18030. Returns false, leaving out alone, when text holds no "&" at all.
bool DecodeCharRefs(std::string_view text, std::string& out);

}  // namespace app
