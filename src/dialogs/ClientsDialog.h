// "Clients": who is on one connector's console now (each client's name, how it came, typing or
// watching, since when, the bytes each way), with Disconnect for the selected one, and the
// serial line its COM-port clients have set. Its rows
// are rewritten whenever its owner refreshes it; the selection stays with its client.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/ClientKind.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"

namespace tolvi {

class ClientsDialog : public ui::Dialog {
  public:
    // Where the clients come from and how one is ended, both asked on the GUI thread; title
    // names the connector above the list.
    struct Source {
        std::string title;
        std::function<std::vector<ClientInfo>()> clients;
        std::function<void(uint64_t id)> disconnect;
        // "COM port: 9600 7E1, no flow control" while a COM-port client has set the line;
        // "" otherwise.
        std::function<std::string()> line;
    };

    ClientsDialog(HWND parent, Source source);

    // Rewrites the rows from the clients there are now; nothing while the dialog is not up.
    void Refresh();

  protected:
    BOOL OnInitDialog() override;
    bool OnDialogMessage(UINT msg, WPARAM w, LPARAM l, INT_PTR* result) override;

  private:
    void DisconnectSelected();
    void EnableDisconnect();

    Source source;
    ui::ListView list;
    std::vector<uint64_t> shownIds;  // the client of each row, in row order
    std::string shownLine;
    bool refreshing = false;
};

}  // namespace tolvi
