#pragma once

class QAction;
class QVLumoMenu;

// What a kit menu asks of its owner: a last chance to change the items
// before the menu opens, and whether each item is enabled.
class QVLumoMenuDelegate {
  public:
    virtual ~QVLumoMenuDelegate() = default;
    virtual void menuNeedsUpdate(QVLumoMenu* menu) { (void)menu; }
    virtual bool validateMenuItem(QAction* item) = 0;
};
