// The registry names of the framework singletons, in the order the framework start-up obtains them,
// and the other singleton names that modules of a process may register (created on first use
// elsewhere, or by other libraries).
#pragma once

// Obtained by the framework start-up, in this order.
inline constexpr const char* kZem_Startup_Names[] = {
    // the framework singletons
    "thread_mgr", "thr_err_mgr", "mts_mgr", "tab_entity_mgr", "dict_mgr_serv", "voucher_mgr",
    "griprep_mgr", "httpd_mgr", "import_mgr", "pub_para_mgr", "tmp_para_mgr", "rep_call_para",
    "log_mgr", "qp_mgr", "csp_mgr", "modu_mgr", "nbr_obj_proc_mgr", "tm_info_mgr", "Load_Proc_mgr",
    "exiting_flag", "csp_obj_attr_mgr", "Dict_Fetch_Filter_mgr",
    // the remote-call singletons
    "Mid_Process", "Link_Process", "Mid_Link_Mgr", "_R_Call_Local_Mode",
    // the dictionary time-stamp server
    "sync_server_mgr", "sync_server_lock"};
inline constexpr int kZem_Startup_Name_Count =
    static_cast<int>(sizeof kZem_Startup_Names / sizeof kZem_Startup_Names[0]);

// Registered by other parts of the framework or by other libraries, not by the start-up.
inline constexpr const char* kZem_Other_Singleton_Names[] = {
    "Db_Net_Thread_Flag", "dict_mgr_client_list", "dict_mgr_client_user_map", "web_obj_ptr_mgr",
    "csp_smtp", "lang_map_mgr", "csp_com_mgr", "csp_db_mgr", "csp_json", "csp_xml_root",
    "class_csp_paramgr", "class_csp_user_paramgr", "csp_break_flag", "csp_class_running",
    "csp_func_running", "csp_run_data_running", "Call_Control_Mgr"};
inline constexpr int kZem_Other_Singleton_Name_Count =
    static_cast<int>(sizeof kZem_Other_Singleton_Names / sizeof kZem_Other_Singleton_Names[0]);
