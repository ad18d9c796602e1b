// The connector list.
#include "model/ConnectorList.h"

namespace tolvi {

ConnectorList::~ConnectorList() {
    StopAll();
    observer_ = nullptr;  // the rows go without telling a window that may be gone
    rows_.clear();
}

int ConnectorList::Append(std::unique_ptr<PipeConnector> connector) {
    rows_.push_back(std::move(connector));
    int row = Count() - 1;
    if (observer_ && !observer_->OnRowAppended(row, *rows_.back())) {
        rows_.pop_back();  // a row nobody sees must not keep a connector running
        return -1;
    }
    return row;
}

std::unique_ptr<PipeConnector> ConnectorList::Replace(int row,
                                                      std::unique_ptr<PipeConnector> connector) {
    std::unique_ptr<PipeConnector>& slot = rows_.at(static_cast<size_t>(row));
    std::swap(slot, connector);
    if (observer_)
        observer_->OnRowReplaced(row, *slot);
    return connector;
}

std::unique_ptr<PipeConnector> ConnectorList::Remove(int row) {
    auto at = rows_.begin() + row;
    std::unique_ptr<PipeConnector> connector = std::move(*at);
    rows_.erase(at);
    if (observer_)
        observer_->OnRowRemoved(row);
    return connector;
}

void ConnectorList::StopAll() {
    for (auto& c : rows_)
        c->RequestStop();
    for (auto& c : rows_)
        c->StopAndWait();
}

void ConnectorList::Clear() {
    StopAll();
    while (!rows_.empty())
        Remove(Count() - 1);
}

std::vector<RowKey> ConnectorList::Keys() const {
    std::vector<RowKey> keys;
    keys.reserve(rows_.size());
    for (const auto& c : rows_)
        keys.push_back(RowKey{c->GetPipeName(), c->GetPortText(), c->Settings().watchPort});
    return keys;
}

std::vector<ConnectorSettings> ConnectorList::Settings() const {
    std::vector<ConnectorSettings> all;
    all.reserve(rows_.size());
    for (const auto& c : rows_)
        all.push_back(c->Settings());
    return all;
}

}  // namespace tolvi
