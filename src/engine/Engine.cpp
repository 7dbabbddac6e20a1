#include "engine/Engine.h"

#include "engine/IndexSet.h"
#include "engine/xbase.h"

#include <algorithm>
#include <cctype>

namespace qly::engine {

namespace {

std::string upperAlias(const std::string& s) {
    std::string out;
    for (char c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        out += std::isalnum(u) ? static_cast<char>(std::toupper(u)) : '_';
    }
    if (!out.empty() && std::isdigit(static_cast<unsigned char>(out[0])))
        out.insert(out.begin(), '_');
    return out;
}

}  // namespace

Engine& Engine::instance() {
    static Engine engine;
    return engine;
}

WorkArea* Engine::area(int number) const {
    if (number < 1 || static_cast<size_t>(number) >= m_areas.size())
        return nullptr;
    return m_areas[static_cast<size_t>(number)].get();
}

int Engine::lowestFree() const {
    for (size_t i = 1; i < m_areas.size(); ++i) {
        if (!m_areas[i])
            return static_cast<int>(i);
    }
    return static_cast<int>(std::max<size_t>(m_areas.size(), 1));
}

int Engine::areaOf(const std::string& alias) const {
    std::string wanted = upperAlias(alias);
    for (size_t i = 1; i < m_areas.size(); ++i) {
        if (m_areas[i] && m_areas[i]->alias() == wanted)
            return static_cast<int>(i);
    }
    return 0;
}

int Engine::use(const std::string& path, const std::string& alias, Table::Mode mode) {
    std::string name;
    if (!alias.empty()) {
        name = upperAlias(alias);
        if (areaOf(name)) {
            setError("Alias name is already in use: " + name, kXbErrAliasInUse);
            return 0;
        }
    }
    std::string error;
    std::unique_ptr<Table> table = Table::open(path, mode, error);
    if (!table) {
        setError(error, kXbErrOpen);
        return 0;
    }
    if (name.empty()) {
        std::string base = baseNameOf(table->path());
        auto dot = base.find_last_of('.');
        if (dot != std::string::npos)
            base.erase(dot);
        name = upperAlias(base);
        if (name.empty())
            name = "TABLE";
        // The same file opened twice gets a second, distinct alias.
        std::string candidate = name;
        for (int k = 2; areaOf(candidate); ++k)
            candidate = name + "_" + std::to_string(k);
        name = candidate;
    }
    int number = lowestFree();
    if (static_cast<size_t>(number) >= m_areas.size())
        m_areas.resize(static_cast<size_t>(number) + 1);
    auto area = std::make_unique<WorkArea>(number, name, std::move(table), &m_settings);
    // The structural index opens with its table, or the table does not open.
    if (!area->indexes().openStructural(error)) {
        setError(error, kXbErrIndex);
        return 0;
    }
    m_areas[static_cast<size_t>(number)] = std::move(area);
    m_current = number;
    return number;
}

bool Engine::repairIndex(const std::string& path, bool force, bool& rebuilt, std::string& report,
                         std::string& error) {
    rebuilt = false;
    report.clear();
    std::unique_ptr<Table> table = Table::open(path, Table::Mode::Exclusive, error);
    if (!table)
        return false;
    if (!force) {
        IndexSet probe(*table, &m_settings);
        std::string why;
        if (probe.openStructural(why))
            return true;
    }
    if (!IndexSet::rebuildStructural(*table, &m_settings, report, error))
        return false;
    rebuilt = true;
    return table->commit(error);
}

int Engine::select(int number) {
    int previous = m_current;
    if (number == 0)
        number = lowestFree();
    if (number > 0)
        m_current = number;
    return previous;
}

bool Engine::close(int number) {
    WorkArea* a = area(number);
    if (!a)
        return false;
    std::string error;
    bool ok = a->table().commit(error);
    if (!ok)
        setError(error, kXbErrClose);
    m_areas[static_cast<size_t>(number)].reset();
    return ok;
}

void Engine::closeAll() {
    for (size_t i = 1; i < m_areas.size(); ++i) {
        if (m_areas[i])
            close(static_cast<int>(i));
    }
    m_areas.clear();
    m_current = 1;
}

}  // namespace qly::engine
