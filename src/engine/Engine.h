#pragma once

// The engine: engine-wide settings, the numbered work areas with one current
// area, and the last error. One per process (Engine::instance()); the xb_
// functions are a thin layer over it.

#include <memory>
#include <string>
#include <vector>

#include "engine/Settings.h"
#include "engine/Table.h"
#include "engine/WorkArea.h"

namespace qly::engine {

class Engine {
public:
    static Engine& instance();

    Settings& settings() { return m_settings; }

    // Opens a table in the lowest free area and makes it current; 0 on failure.
    int use(const std::string& path, const std::string& alias, Table::Mode mode);
    // Makes area current (0: the lowest free area); returns the previous one.
    int select(int area);
    int current() const { return m_current; }
    WorkArea* area(int number) const;
    WorkArea* currentArea() const { return area(m_current); }
    int areaOf(const std::string& alias) const;  // 0 when none
    bool close(int number);
    // For a table no work area has open: rebuilds its structural index from
    // the table alone (IndexSet::rebuildStructural) when the index cannot be
    // used as it is, or always with force. rebuilt tells whether it was;
    // report says what was done. False when the table cannot be opened
    // exclusively or the index cannot be rebuilt.
    bool repairIndex(const std::string& path, bool force, bool& rebuilt, std::string& report,
                     std::string& error);
    void closeAll();

    // code: one of the kXbErr* codes of xbase.h.
    void setError(const std::string& text, int code) {
        m_error = text;
        m_errorCode = code;
    }
    void clearError() {
        m_error.clear();
        m_errorCode = 0;
    }
    const std::string& lastError() const { return m_error; }
    int lastErrorCode() const { return m_errorCode; }

private:
    Engine() = default;
    int lowestFree() const;

    Settings m_settings;
    std::vector<std::unique_ptr<WorkArea>> m_areas;  // index = area number; slot 0 unused
    int m_current = 1;
    std::string m_error;
    int m_errorCode = 0;
};

}  // namespace qly::engine
