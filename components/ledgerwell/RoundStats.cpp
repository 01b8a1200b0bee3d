#include "RoundStats.h"

#include "TextRules.h"

#include <algorithm>
#include <charconv>

namespace ledgerwell {

namespace {

// The comma-separated values of a row, blanks around each taken off.
std::vector<std::string_view> columns(std::string_view row)
{
    std::vector<std::string_view> values;
    while (true) {
        const std::size_t comma = row.find(',');
        std::string_view value = row.substr(0, comma);
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        while (!value.empty() && value.back() == ' ')
            value.remove_suffix(1);
        values.push_back(value);
        if (comma == std::string_view::npos)
            return values;
        row.remove_prefix(comma + 1);
    }
}

bool number(std::string_view text, std::int64_t &value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 0;
}

} // namespace

bool RoundStatsBlock::read(const Event &event)
{
    const std::string_view key = event.text;
    if (key == "JSON_BEGIN") {
        m_open = true;
        m_map.clear();
        m_account = m_mvp = -1;
        m_players.clear();
        return false;
    }
    if (!m_open)
        return false;
    if (key == "JSON_END") {
        m_open = false;
        return m_account >= 0 && m_mvp >= 0;
    }
    if (key == "name") {
        m_open = event.value == "round_stats"; // other blocks carry no such columns
    } else if (key == "map") {
        m_map = event.value;
    } else if (key == "fields") {
        const std::vector<std::string_view> fields = columns(event.value);
        for (std::size_t i = 0; i < fields.size(); ++i) {
            m_account = fields[i] == "accountid" ? int(i) : m_account;
            m_mvp = fields[i] == "mvp" ? int(i) : m_mvp;
        }
    } else if (startsWithIgnoreCase(key, "player_")) {
        const std::vector<std::string_view> values = columns(event.value);
        std::int64_t account = 0, mvps = 0;
        // A row before the columns are known, or short of them, spoils the block.
        m_open = m_account >= 0 && m_mvp >= 0 &&
                 std::size_t(std::max(m_account, m_mvp)) < values.size() &&
                 number(values[std::size_t(m_account)], account) &&
                 number(values[std::size_t(m_mvp)], mvps);
        m_open = m_open && m_players.size() < MaxPlayers;
        if (m_open && account != 0) // 0: a slot nobody holds
            m_players.push_back({std::string(values[std::size_t(m_account)]), mvps});
    }
    return false;
}

} // namespace ledgerwell
