// The connector list.
#include "model/ConnectorList.h"

#include "engine/PortText.h"

namespace tolvi {

ConnectorList::~ConnectorList() {
    StopAll();
    listObserver = nullptr;  // the rows go without telling a window that may be gone
    std::vector<std::unique_ptr<PipeConnector>> gone;
    std::lock_guard<std::mutex> hold(rowsLock);
    gone.swap(rows);
}

int ConnectorList::Append(std::unique_ptr<PipeConnector> connector) {
    {
        std::lock_guard<std::mutex> hold(rowsLock);
        rows.push_back(std::move(connector));
    }
    int row = Count() - 1;
    if (listObserver && !listObserver->OnRowAppended(row, *rows.back())) {
        std::unique_ptr<PipeConnector> unseen;
        {
            std::lock_guard<std::mutex> hold(rowsLock);
            unseen = std::move(rows.back());
            rows.pop_back();
        }
        return -1;  // a row nobody sees must not keep a connector running
    }
    return row;
}

std::unique_ptr<PipeConnector> ConnectorList::Replace(int row,
                                                      std::unique_ptr<PipeConnector> connector) {
    {
        std::lock_guard<std::mutex> hold(rowsLock);
        std::swap(rows.at(static_cast<size_t>(row)), connector);
    }
    if (listObserver)
        listObserver->OnRowReplaced(row, *rows.at(static_cast<size_t>(row)));
    return connector;
}

std::unique_ptr<PipeConnector> ConnectorList::Remove(int row) {
    std::unique_ptr<PipeConnector> connector;
    {
        std::lock_guard<std::mutex> hold(rowsLock);
        auto at = rows.begin() + row;
        connector = std::move(*at);
        rows.erase(at);
    }
    if (listObserver)
        listObserver->OnRowRemoved(row);
    return connector;
}

void ConnectorList::ForEach(const std::function<void(PipeConnector&)>& use) const {
    std::lock_guard<std::mutex> hold(rowsLock);
    for (const auto& c : rows)
        use(*c);
}

bool ConnectorList::WithPort(int port, const std::function<void(PipeConnector&)>& use) const {
    std::lock_guard<std::mutex> hold(rowsLock);
    for (const auto& c : rows) {
        if (TextToInt(c->GetPortText()) == port && port > 0) {
            use(*c);
            return true;
        }
    }
    return false;
}

void ConnectorList::StopAll() {
    for (auto& c : rows)
        c->RequestStop();
    for (auto& c : rows)
        c->StopAndWait();
}

void ConnectorList::Clear() {
    StopAll();
    while (!rows.empty())
        Remove(Count() - 1);
}

std::vector<RowKey> ConnectorList::Keys() const {
    std::vector<RowKey> keys;
    keys.reserve(rows.size());
    for (const auto& c : rows)
        keys.push_back(RowKey{c->GetPipeName(), c->GetPortText(), c->Settings().watchPort});
    return keys;
}

std::vector<ConnectorSettings> ConnectorList::Settings() const {
    std::vector<ConnectorSettings> all;
    all.reserve(rows.size());
    for (const auto& c : rows)
        all.push_back(c->Settings());
    return all;
}

}  // namespace tolvi
