snippet A
{
x
{
y
}
}
$include A
@include common/constants.hlsl
mirel_shadervars
{
float a = 1;
float3 b = 1 2 3;
matrix m;
int3 c = 1 2 3;
}
$include B
snippet B
{
}
