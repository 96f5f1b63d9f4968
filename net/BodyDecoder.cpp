#include "net/BodyDecoder.h"

#include <string>

namespace net {

namespace {
// The members of a comma-separated header list, trimmed and in lower case.
std::vector<std::string> Codings(std::string_view list) {
    std::vector<std::string> codings;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string_view::npos)
            comma = list.size();
        std::string_view item = list.substr(start, comma - start);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        if (!item.empty()) {
            std::string lower(item);
            for (char& c : lower)
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
            codings.push_back(std::move(lower));
        }
        start = comma + 1;
    }
    return codings;
}
}  // namespace

TBodyDecoder::TBodyDecoder(std::string_view TransferEncoding, std::string_view ContentEncoding,
                           TByteSink Output)
    : FOutput(std::move(Output)) {
    // Applied in this order by the server: content codings, then transfer
    // codings, the last of which frames the message when it is chunked.
    std::vector<std::string> applied = Codings(ContentEncoding);
    std::vector<std::string> transfer = Codings(TransferEncoding);
    if (!transfer.empty() && transfer.back() == "chunked") {
        FChunked = true;
        transfer.pop_back();
    }
    applied.insert(applied.end(), transfer.begin(), transfer.end());
    for (auto coding = applied.rbegin(); coding != applied.rend(); ++coding) {
        if (*coding == "identity")
            continue;
        if (*coding == "gzip" || *coding == "x-gzip")
            FStages.push_back(std::make_unique<TInflater>(TInflater::TFormat::Gzip));
        else if (*coding == "deflate")
            FStages.push_back(std::make_unique<TInflater>(TInflater::TFormat::Deflate));
        else
            break;
    }
    FSinks.resize(FStages.size() + 1);
    for (size_t i = 0; i < FStages.size(); ++i)
        FSinks[i] = [this, i](const char* data, size_t size) { return Pass(i, data, size); };
    FSinks.back() = [this](const char* data, size_t size) {
        if (size == 0)
            return true;
        if (!FOutput(data, size))
            FFull = true;
        return !FFull;
    };
}

bool TBodyDecoder::Pass(size_t Stage, const char* Data, size_t Size) {
    return FStages[Stage]->Feed(Data, Size, FSinks[Stage + 1]) == TDecodeState::Running;
}

bool TBodyDecoder::Wanted() const {
    if (FFull || (FChunked && FChunks.State() != TDecodeState::Running))
        return false;
    for (const auto& stage : FStages)
        if (stage->State() != TDecodeState::Running)
            return false;
    return true;
}

bool TBodyDecoder::Put(const char* Data, size_t Size) {
    if (!Wanted())
        return false;
    if (FChunked)
        FChunks.Feed(Data, Size, FSinks.front());
    else
        FSinks.front()(Data, Size);
    return Wanted();
}

void TBodyDecoder::Finish() {
    // A stage holding back a few bytes it could not yet tell passes them on;
    // what it passes still goes through the stages after it.
    for (size_t i = 0; i < FStages.size() && !FFull; ++i)
        FStages[i]->Finish(FSinks[i + 1]);
}

}  // namespace net
