#include "app/page/PageReader.h"

#include "app/page/CharRefs.h"
#include "app/page/GbPage.h"
#include "app/page/JsonEscapes.h"
#include "app/page/Markup.h"
#include "app/page/TargetMatch.h"

namespace app {

void TPageReader::Read(std::string_view contentType, std::string_view body,
                       const std::vector<std::string_view>& names) {
    // From here on the page is GB18030 text, whatever it was written in: the
    // test panel shows it legibly and nicknames (GB bytes) can match it.
    FCharset = DecidePageCharset(contentType, body);
    FPage = body;
    if (!IsGbEncoding(FCharset.Encoding)) {
        ConvertPageToGb(FCharset.Encoding, body, FGbPage);
        FPage = FGbPage;
    }
    StripMarkup(FPage, FText);
    FHasReferences = DecodeCharRefs(FText, FDecodedText);
    if (!FHasReferences)
        FDecodedText.clear();
    // Lists loaded as JSON, or kept in a script as an array, write names as
    // \u escapes: a JSON body is decoded whole, an HTML page in its scripts.
    // Without a backslash there is no escape to decode, and most pages have
    // none: that one fast search spares them the walk over their tags.
    FHasEscapes = false;
    if (FPage.find('\\') != std::string_view::npos) {
        if (IsJsonOrScriptType(contentType) || LooksLikeJson(FPage))
            FHasEscapes = DecodeJsonEscapes(FPage, FUnescapedText);
        else if (ScriptTexts(FPage, FScriptText))
            FHasEscapes = DecodeJsonEscapes(FScriptText, FUnescapedText);
    }
    if (!FHasEscapes)
        FUnescapedText.clear();

    // A nickname counts in the text as it stands, with its character
    // references decoded or with its string escapes decoded; all of them are
    // looked for in one walk over each.
    FPresent.assign(names.size(), false);
    TSearchText text(FText);
    FindNames(text, names, FPresent);
    if (FHasReferences) {
        TSearchText decoded(FDecodedText);
        FindNames(decoded, names, FPresent);
    }
    if (FHasEscapes) {
        TSearchText unescaped(FUnescapedText);
        FindNames(unescaped, names, FPresent);
    }
}

}  // namespace app
