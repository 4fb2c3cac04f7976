// The one way a drawn control tells its page that the user changed, or tried to change, its value.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class IDTAControlListener {
public:
    virtual ~IDTAControlListener() = default;
    // Called on the user-interface thread; the result is not used by the controls.
    virtual int onValueChanged(int controlId, int value) = 0;
};
