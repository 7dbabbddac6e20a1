#pragma once

#include "data/DataLink.h"

class TXBase;

// The link through which a TXBase follows its table: when the table is
// opened it re-applies the companion's Filter and extra indexes.
class TXBaseDataLink : public TDataLink {
public:
    explicit TXBaseDataLink(TXBase* owner) : m_owner(owner) {}
    void activeChanged() override;

private:
    TXBase* m_owner;
};
