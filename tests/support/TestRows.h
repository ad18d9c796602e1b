// A connector list without a window, for saving and loading configurations in tests.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "config/ConfigurationStore.h"

namespace tolvi::test {

struct TestRows : ConnectorRows {
    int GetRowCount() const override { return static_cast<int>(rows.size()); }
    PipeConnector* GetRowConnector(int row) const override { return rows[row].get(); }
    int AppendConnectorRow(std::unique_ptr<PipeConnector> c, const std::string&, const std::string&,
                           const std::string&) override {
        rows.push_back(std::move(c));
        return GetRowCount() - 1;
    }
    // A connector for its settings only: nothing is opened or started.
    void Add(const std::string& pipe, const std::string& port, const std::string& description,
             bool nonLocal = false, bool listOnly = false, const std::string& list = "") {
        rows.push_back(std::make_unique<PipeConnector>(pipe, port, description));
        rows.back()->SetAdmission(nonLocal, listOnly, list);
    }
    std::vector<std::unique_ptr<PipeConnector>> rows;
};

}  // namespace tolvi::test
