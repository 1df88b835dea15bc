// The host's default functions for the dictionary combo box:
//
//   name                what the default does
//   "pdu_inp_dict_key"  Down on a box whose list is closed opens its list (the key is taken); every
//                       other key, Enter included, goes on to the box, which resolves typed codes itself
//   "board_obj_handle"  the host's board of current objects: the code last chosen from dictionary D is
//                       kept in the public parameter "board.D" (GBK), so that any part of the application
//                       reads which supplier or employee the clerk is working on
#pragma once

#include "frame/host_funcs.h"

int Zem_Host_Inp_Dict_Key(TComboBox_Ext* box, int key);
int Zem_Host_Board_Obj(const char* dict_id, const char* code);

// Registers both in the shared registry; returns how many were registered.
int Zem_Host_Register_Combo();
