/* The numbers of the resources and of the controls of the control panel:
   one list for the resource script (tovi.rc) and the code. Plain #defines,
   because the resource compiler reads this file too. */
#ifndef TOVI_RESOURCE_IDS_H
#define TOVI_RESOURCE_IDS_H

#define Rid_panel_dialog 107
#define Rid_about_dialog 110
#define Rid_about_bitmap 117
#define Rid_question_dialog 30004
#define Rid_manifest 1

/* Buttons and fields of the control panel (dialog 107). */
#define Rid_evac 1        /* "ﾏｯﾌﾟ初期設定" until a map exists, then "避難場所設定" */
#define Rid_quit 2        /* "終了" */
#define Rid_cong 3        /* "混雑設定" */
#define Rid_nopass 4      /* "通行禁止" */
#define Rid_route_build 5 /* "ルート作成" */
#define Rid_route_check 6 /* "ルート検証" */
#define Rid_save 7        /* "保存" */
#define Rid_load 8        /* "読み込み" */
#define Rid_delete 9      /* "設定削除" */
#define Rid_about 10      /* "About" */
#define Rid_steps 1003
#define Rid_calories 1004
#define Rid_distance 1005
#define Rid_minutes 1031
#define Rid_scale_100 1023
#define Rid_scale_200 1024
#define Rid_evac_map 1040 /* "避難地図" */
#define Rid_scale_measure 1041 /* "縮尺測定" */
#define Rid_scale_text 1042    /* the scale the figures use, named */

/* The choices of the evacuation map (dialog 120). */
#define Rid_evac_dialog 120
#define Rid_evac_speed 1201
#define Rid_evac_band 1202
#define Rid_evac_limit 1203
#define Rid_evac_title 1204
#define Rid_evac_source 1205
#define Rid_evac_status 1206
#define Rid_evac_png 1207
#define Rid_evac_print 1208

/* The text box: a prompt and a line to type into (dialog 121). */
#define Rid_text_dialog 121
#define Rid_text_prompt 1211
#define Rid_text_edit 1212

/* The question box (dialog 30004). */
#define Rid_question_yes 30001
#define Rid_question_no 30002
#define Rid_question_text 30003

/* The evacuation map's comparison with another version (dialog 120). */
#define Rid_evac_compare 1209

#endif
