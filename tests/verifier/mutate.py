# Mutants of class files for the verifier's differential test: usage
#   mutate.py SEED_ROOT OUT_FILE COUNT RANDOM_SEED
# writes COUNT class files into one pack OUT_FILE (thousands of small files cost far more
# to make and remove than to judge), each with one or two mutations of one method's code
# that keep its structure: an opcode for another of its length, a local index, a
# constant-pool index, a branch to another instruction, two neighbours of one length
# swapped, or any byte. A record of the pack, big-endian: u2 length and the mutant's key
# "mNNNNN/<path of a class of SEED_ROOT>" (ASCII), u4 length and the class file.
import struct, sys, os, random

LEN = [1]*256
for op,l in {0x10:2,0x11:3,0x12:2,0x13:3,0x14:3,0x15:2,0x16:2,0x17:2,0x18:2,0x19:2,0x36:2,0x37:2,0x38:2,0x39:2,0x3a:2,
             0x84:3,0xa9:2,0xb2:3,0xb3:3,0xb4:3,0xb5:3,0xb6:3,0xb7:3,0xb8:3,0xb9:5,0xbb:3,0xbc:2,0xbd:3,0xc0:3,0xc1:3,
             0xc5:4,0xc6:3,0xc7:3,0xc8:5,0xc9:5}.items(): LEN[op]=l
for op in range(0x99,0xa9): LEN[op]=3

def parse(b):
    p=10; n=struct.unpack('>H',b[8:10])[0]; i=1; pool=[None]*n
    while i<n:
        t=b[p]
        if t==1: l=struct.unpack('>H',b[p+1:p+3])[0]; pool[i]=(1,b[p+3:p+3+l]); p+=3+l
        elif t in (3,4): pool[i]=(t,); p+=5
        elif t in (5,6): pool[i]=(t,); p+=9; i+=1
        elif t in (7,8): pool[i]=(t,); p+=3
        elif t in (9,10,11,12): pool[i]=(t,); p+=5
        else: raise Exception('tag %d'%t)
        i+=1
    p+=6; ni=struct.unpack('>H',b[p:p+2])[0]; p+=2+2*ni
    codes=[]
    for kind in range(2):
        cnt=struct.unpack('>H',b[p:p+2])[0]; p+=2
        for _ in range(cnt):
            p+=6; ac=struct.unpack('>H',b[p:p+2])[0]; p+=2
            for _ in range(ac):
                ni_,al=struct.unpack('>HI',b[p:p+6]); name=pool[ni_][1]
                if kind==1 and name==b'Code':
                    cl=struct.unpack('>I',b[p+10:p+14])[0]; codes.append((p+14,cl))
                p+=6+al
    return pool, codes

def starts(b, off, n):
    out=[]; pc=0
    while pc<n:
        out.append(pc); op=b[off+pc]
        if op in (0xaa,0xab):
            q=(pc+4)&~3
            if q+12>n: break
            if op==0xaa:
                lo,hi=struct.unpack('>ii',b[off+q+4:off+q+12]); l=q+12+4*(hi-lo+1)-pc
            else:
                np_=struct.unpack('>i',b[off+q+4:off+q+8])[0]; l=q+8+8*np_-pc
            if l<=0: break
            pc+=l
        elif op==0xc4: pc+= 6 if pc+1<n and b[off+pc+1]==0x84 else 4
        else: pc+=LEN[op]
    return out

def mutate(b, pool, off, n, rng):
    st=starts(b,off,n)
    if not st: return
    i=rng.randrange(len(st)); pc=st[i]; op=b[off+pc]; l=LEN[op]
    k=rng.randrange(6)
    if k==0:
        for _ in range(64):
            o=rng.randrange(0xca)
            if LEN[o]==l and o not in (0xaa,0xab,0xc4,0xba): b[off+pc]=o; break
    elif k==1 and op in list(range(0x15,0x1a))+list(range(0x36,0x3b))+[0x84,0xa9]: b[off+pc+1]=rng.randrange(6)
    elif k==2 and op in (0x13,0x14,0xb2,0xb3,0xb4,0xb5,0xb6,0xb7,0xb8,0xb9,0xbb,0xbd,0xc0,0xc1,0xc5):
        # Mostly another entry of the same kind: another class, field or method.
        cur=struct.unpack('>H',b[off+pc+1:off+pc+3])[0]
        tag=pool[cur][0] if 0<cur<len(pool) and pool[cur] else None
        same=[i for i in range(1,len(pool)) if pool[i] and pool[i][0]==tag]
        v=rng.choice(same) if same and rng.randrange(4)!=0 else rng.randrange(1,len(pool))
        b[off+pc+1:off+pc+3]=struct.pack('>H',v)
    elif k==3 and (0x99<=op<=0xa8 or op in (0xc6,0xc7)):
        t=st[rng.randrange(len(st))]; b[off+pc+1:off+pc+3]=struct.pack('>h',max(-32768,min(32767,t-pc)))
    elif k==4 and i+1<len(st) and st[i+1]-pc==l:
        o2=b[off+st[i+1]]
        if LEN[o2]==l and o2 not in (0xaa,0xab,0xc4):
            b[off+pc:off+pc+2*l]=b[off+pc+l:off+pc+2*l]+b[off+pc:off+pc+l]
    else:
        b[off+rng.randrange(n)]=rng.randrange(256)

src, out, count, seed = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
rng=random.Random(seed)
files=[]
for root,_,fs in os.walk(src):
    for f in fs:
        if f.endswith('.class'): files.append(os.path.join(root,f))
files.sort()
made=0
pack=open(out,'wb')
while made<count:
    f=rng.choice(files); b=bytearray(open(f,'rb').read())
    try: pool,codes=parse(b)
    except Exception: continue
    if not codes: continue
    off,n=rng.choice(codes)
    for _ in range(rng.randrange(1,3)): mutate(b,pool,off,n,rng)
    key=('m%05d/'%made+os.path.relpath(f,src)).encode('ascii')
    pack.write(struct.pack('>H',len(key))+key+struct.pack('>I',len(b))+bytes(b))
    made+=1
pack.close()
