#pragma once

class QVLumoPopover;

// Told when a pop-over has closed, whatever closed it.
class QVLumoPopoverDelegate {
  public:
    virtual ~QVLumoPopoverDelegate() = default;
    virtual void popOverClosed(QVLumoPopover* popover) = 0;
};
