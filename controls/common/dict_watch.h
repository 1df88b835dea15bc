// Controls that show a dictionary follow its changes while they live: when a change of the dictionary
// reaches this process (a notice, or the change log read; dict/dict_notify.h), each control showing it
// reads it again and shows it anew (the combo box its list, the tree views their nodes, the grid the
// names of its dictionary cells; the stop rules with them) without a restart.
//
// Zem_Dict_Watch(control, apply) calls apply on the control's thread (the user-interface thread) with
// each changed id once the dictionary, when this process holds it, was read again: by the hub on
// that thread when the notice arrives, or by any later look-up (a notice arriving while the thread's
// database session waits in an outer call is read a moment later; a read that failed is retried by
// the look-ups, and the controls follow when it succeeds). An id reported several times before the
// thread gets to it runs once. An empty id means that anything may
// have changed (notices were missed). The watch goes with the control. It needs a running event loop
// and a host that follows changes (Dict_Notify()->Start()); without them nothing is called.
#pragma once

#include <functional>
#include <string>

class QObject;

// Registers the control (once per control: a second call replaces the first apply).
void Zem_Dict_Watch(QObject* control, std::function<void(const std::string& id)> apply);
// Ids delivered to controls so far in this module (for tests and diagnostics).
long long Zem_Dict_Watch_Delivered();
