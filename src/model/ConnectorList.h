// The program's connectors in row order: the one collection of them, and their owner from
// creation to deletion or replacement. The list window shows it and mirrors each change; the
// configuration store saves it in this order.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "model/ConnectorValidation.h"
#include "engine/ConnectorSettings.h"
#include "engine/PipeConnector.h"

namespace tolvi {

// What mirrors the list, told of each change as it happens.
class ConnectorListObserver {
  public:
    virtual ~ConnectorListObserver() = default;
    // False when the row could not be shown; the connector is then not kept.
    virtual bool OnRowAppended(int row, const PipeConnector& connector) = 0;
    virtual void OnRowReplaced(int row, const PipeConnector& connector) = 0;
    virtual void OnRowRemoved(int row) = 0;
};

class ConnectorList {
  public:
    ConnectorList() = default;
    // Every connector is stopped, all asked at once, then freed.
    ~ConnectorList();
    ConnectorList(const ConnectorList&) = delete;
    ConnectorList& operator=(const ConnectorList&) = delete;

    void SetObserver(ConnectorListObserver* observer) { listObserver = observer; }

    int Count() const { return static_cast<int>(rows.size()); }
    PipeConnector& At(int row) const { return *rows.at(static_cast<size_t>(row)); }

    // Appends a row; -1 when the observer could not show it, and the connector is gone.
    int Append(std::unique_ptr<PipeConnector> connector);
    // Puts connector in row's place and hands back the one that was there.
    std::unique_ptr<PipeConnector> Replace(int row, std::unique_ptr<PipeConnector> connector);
    // Takes the row out (the observer's row goes first) and hands its connector back.
    std::unique_ptr<PipeConnector> Remove(int row);
    // Asks every worker to end, then waits for each: they all stop together.
    void StopAll();
    void Clear();

    // What the dialogs check against, and what the store writes, in row order.
    std::vector<RowKey> Keys() const;
    std::vector<ConnectorSettings> Settings() const;

    // From any thread: calls use with each connector in row order, or with the one on port
    // (its number), while no row can be removed or replaced; use must return at once. The
    // rows change on the host's own thread only, which reads them without this.
    void ForEach(const std::function<void(PipeConnector&)>& use) const;
    bool WithPort(int port, const std::function<void(PipeConnector&)>& use) const;

  private:
    mutable std::mutex rowsLock;  // held while rows changes, and by the other threads' reads
    std::vector<std::unique_ptr<PipeConnector>> rows;
    ConnectorListObserver* listObserver = nullptr;
};

}  // namespace tolvi
