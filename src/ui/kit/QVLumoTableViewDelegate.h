#pragma once

class QVLumoTableView;

// What the kit table asks its owner beyond the model: whether its context
// menu may open now (the owner may retitle or hide items while answering).
class QVLumoTableViewDelegate {
  public:
    virtual ~QVLumoTableViewDelegate() = default;
    virtual bool shouldDisplayTableMenu(QVLumoTableView* sender) = 0;
};
