#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/page/PageCharset.h"

namespace app {

// The road of one fetched page, from the bytes the client handed over to the
// names found in it:
//   body -> charset decision -> GB18030 text (what the test panel shows)
//        -> mark-up stripped -> names matched on whole characters in that text,
//           in a copy with character references decoded, and in a copy of
//           the JSON body or the page's scripts with string escapes decoded.
// The reader keeps its texts between pages, so a watcher reading one page per
// tick reuses their room instead of faulting in fresh memory every time.
class TPageReader {
public:
    // Reads body (transfer and content coding already undone) as its
    // Content-Type value and its own bytes say, and looks for every non-empty
    // name of names; Present()[i] tells whether names[i] was found. The body
    // must outlive the reader's use of Page() when it was GB text already.
    void Read(std::string_view contentType, std::string_view body,
              const std::vector<std::string_view>& names);

    // Where the page's charset came from and what it was.
    const TPageCharset& Charset() const { return FCharset; }
    // The page as GB18030 text: the body itself when it was GB text, else its
    // conversion. This is what the test panel shows.
    std::string_view Page() const { return FPage; }
    // The page without its mark-up, and that text with character references
    // decoded (empty when the text held no "&").
    const std::string& Text() const { return FText; }
    const std::string& DecodedText() const { return FDecodedText; }
    bool HasReferences() const { return FHasReferences; }
    // The JSON body, or the text of the page's scripts, with its string
    // escapes decoded (empty when there were none).
    const std::string& UnescapedText() const { return FUnescapedText; }
    bool HasEscapes() const { return FHasEscapes; }
    // One flag per name given to Read.
    const std::vector<bool>& Present() const { return FPresent; }

private:
    TPageCharset FCharset;
    std::string_view FPage;
    std::string FGbPage;
    std::string FText;
    std::string FDecodedText;
    bool FHasReferences = false;
    std::string FScriptText;
    std::string FUnescapedText;
    bool FHasEscapes = false;
    std::vector<bool> FPresent;
};

}  // namespace app
