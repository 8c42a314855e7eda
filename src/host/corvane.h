/*
 * Records and operations of the Corvane switch that a codec module uses.
 *
 * Plain C: the switch and its modules may be built by different compilers.
 * Only the fields named here are part of the contract; the switch keeps
 * whatever else it needs after them.
 */
#ifndef CORVANE_H
#define CORVANE_H

#ifdef __cplusplus
extern "C" {
#endif

/* Media format bits. */
enum { SLINEAR = 64, G729A = 256 };

/* Frame types. */
enum { CVN_FRAME_VOICE = 2 };

/* Log levels. */
enum { CVN_LOG_DEBUG = 0, CVN_LOG_NOTICE = 2, CVN_LOG_WARNING = 3, CVN_LOG_ERROR = 4 };

/* Console handler results. */
enum { CVN_CLI_SUCCESS = 0, CVN_CLI_SHOWUSAGE = 1 };

typedef struct HostFrame {
  int frame_type;     /* CVN_FRAME_VOICE for audio */
  int format;         /* SLINEAR or G729A */
  int data_length;    /* bytes at payload */
  int samples;        /* audio samples the frame stands for */
  const char* source; /* who made the frame, for diagnostics */
  void* payload;
  /* host-owned; zero in module-built frames */
  int offset;
  long long timestamp;
  struct HostFrame* next;
} HostFrame;

struct TranslatorDescriptor;

typedef struct TranslatorInstance {
  int sample_count;    /* samples held for this channel */
  int byte_count;      /* bytes waiting in output_buffer */
  void* codec_state;   /* state_size bytes, zeroed by the host before the constructor */
  void* output_buffer; /* buffer_size bytes */
  /* host-owned */
  struct TranslatorDescriptor* translator;
  HostFrame out_frame;
  void* host_data;
} TranslatorInstance;

typedef struct TranslatorDescriptor {
  char name[80];
  int source_format;
  int destination_format;
  int (*constructor)(TranslatorInstance* pvt);
  int (*framein)(TranslatorInstance* pvt, HostFrame* frame);
  HostFrame* (*frameout)(TranslatorInstance* pvt); /* may be absent */
  void (*destroy)(TranslatorInstance* pvt);
  HostFrame* (*sample)(void);
  int buffer_samples;
  int buffer_size;
  int state_size;
  /* host-owned, zero until registered */
  void* module;
  int cost;
  struct TranslatorDescriptor* next;
} TranslatorDescriptor;

typedef struct ModuleDescriptor {
  void* host_handle; /* filled in by cvn_module_register */
  int (*load)(void);
  int (*reload)(void);
  int (*unload)(void);
  const char* name;
  const char* description;
  int flags;
} ModuleDescriptor;

enum { CVN_CLI_MAX_WORDS = 8 };

typedef struct CliEntry {
  const char* words[CVN_CLI_MAX_WORDS]; /* ends at the first null */
  int (*handler)(int fd, int argc, char* argv[]);
  const char* summary;
  const char* usage;
  /* host-owned */
  int inuse;
  struct CliEntry* next;
} CliEntry;

void cvn_module_register(ModuleDescriptor* module);
void cvn_module_unregister(ModuleDescriptor* module);

int cvn_cli_register(CliEntry* entry);
int cvn_cli_unregister(CliEntry* entry);
void cvn_cli(int fd, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

/* 0 when registered, anything else when refused. */
int __cvn_register_translator(TranslatorDescriptor* translator, void* module_handle);
/* 0 when removed. */
int cvn_unregister_translator(TranslatorDescriptor* translator);

void cvn_log(int level, const char* file, int line, const char* function, const char* fmt, ...)
    __attribute__((format(printf, 5, 6)));

/* The frame that carries the first byte_count bytes of pvt->output_buffer as
 * sample_count samples of the translator's destination format. */
HostFrame* cvn_trans_frameout(TranslatorInstance* pvt, int byte_count, int sample_count);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_H */
