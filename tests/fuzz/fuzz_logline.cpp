// Ledgerwell's log line parser on any line, with a directory of known players that answers by
// the token, so the readings that depend on it are all taken.
#include "LogLine.h"

#include <cstdlib>

namespace {

class Players : public ledgerwell::PlayerDirectory
{
public:
    ledgerwell::Recognition recognise(const ledgerwell::PlayerToken &token) const override
    {
        return ledgerwell::Recognition((token.name.size() + token.uid.size() + token.id.size()) %
                                       3);
    }
};

// The parser's views point into the line it was given, so they live as long as it.
void checkInside(std::string_view line, std::string_view view)
{
    if (view.empty())
        return;
    if (view.data() < line.data() || view.data() + view.size() > line.data() + line.size())
        std::abort();
}

void checkToken(std::string_view line, const ledgerwell::PlayerToken &token)
{
    for (std::string_view part : {token.name, token.uid, token.id, token.team})
        checkInside(line, part);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view line(reinterpret_cast<const char *>(data), size);
    static const Players players;
    for (const ledgerwell::PlayerDirectory *directory :
         {static_cast<const ledgerwell::PlayerDirectory *>(nullptr),
          static_cast<const ledgerwell::PlayerDirectory *>(&players)}) {
        const ledgerwell::LineParse parsed = ledgerwell::parseLine(line, directory);
        if (!parsed.ok)
            continue;
        const ledgerwell::Event &event = parsed.line.event;
        checkToken(line, event.actor);
        checkToken(line, event.other);
        for (std::string_view part :
             {event.actorPosition, event.otherPosition, event.text, event.value})
            checkInside(line, part);
        // A team score's detail names which score it is; every other detail is line text.
        if (event.kind != ledgerwell::EventKind::TeamScore)
            checkInside(line, event.detail);
        for (const ledgerwell::Property &property : event.properties) {
            checkInside(line, property.key);
            checkInside(line, property.value);
        }
        (void)parsed.line.time.iso();
        (void)parsed.line.time.epochSeconds();
        (void)ledgerwell::eventKindName(event.kind);
    }
    return 0;
}
