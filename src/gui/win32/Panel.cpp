// A panel: a child container window with its colour and an optional outer bevel.
#include "gui/win32/Peers.h"

namespace gui::win32 {
namespace {

class PanelPeer : public ContainerPeer {
 public:
  explicit PanelPeer(TPanel& p) : ContainerPeer(p), panel_(p) {}

 protected:
  void GetParams(WindowParams& p) override {
    p.ClassName = kPanelClass;
    p.Style |= WS_CLIPCHILDREN;
  }
  void EraseBackground(HDC dc, const RECT& client) override {
    ContainerPeer::EraseBackground(dc, client);
    if (panel_.BevelOuter() == bvNone) return;
    RECT rc = client;
    DrawEdge(dc, &rc, panel_.BevelOuter() == bvRaised ? BDR_RAISEDOUTER : BDR_SUNKENOUTER, BF_RECT);
  }

 private:
  TPanel& panel_;
};

}  // namespace

std::unique_ptr<ControlPeer> NewPanelPeer(TPanel& panel) {
  auto peer = std::make_unique<PanelPeer>(panel);
  peer->Create();
  return peer;
}

}  // namespace gui::win32
