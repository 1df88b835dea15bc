// The demo's input strip above the voucher grid, loaded from the Designer form inputs_form.ui: a
// voucher date and an accounting month (TMDate), a making date (MPickDate) and a department code with
// the search edit (TMGS) as its drop-down over the departments table. Choices are noted in the status
// bar; an unknown department code offers to add the department.
#pragma once

class QMainWindow;
class DemoDb;

// Loads the strip into the window's voucher box; false when the form or the box is missing. db is
// not owned and must outlive the window.
bool Demo_Add_Inputs(QMainWindow* window, DemoDb* db);
